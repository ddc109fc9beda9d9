#include "mpeg/preread_file.h"

#include "mpeg/id3v2_header.h"

#include <algorithm>
#include <cstring>

namespace quaverly::mpeg {

std::uint64_t StatedTagEnd(const unsigned char* bytes, std::size_t count, bool withFooter) {
    // Whatever its version, flags and size bytes: where the tag ends is all that is asked.
    const std::optional<Id3v2Header> header = DecodeId3v2Header(bytes, count);
    if (!header) {
        return 0;
    }
    return withFooter ? header->TotalSize() : Id3v2Header::kBytes + header->tagSize;
}

PrereadFile::PrereadFile(std::unique_ptr<platform::InputFile> file, PrereadPlan plan)
    : m_file(std::move(file)), m_size(m_file->Size()) {
    const std::uint64_t head = std::min<std::uint64_t>(m_size, kHeadBytes);
    Read(0, head);
    const Extent& first = m_extents.front();
    if (first.failure) {
        return;
    }
    // The tag itself is not read: its header says where it ends, and the analysis reads on
    // from there.
    const std::uint64_t tagEnd = StatedTagEnd(first.Data(), first.held, false);
    const std::uint64_t from =
        std::max(head, plan.tagEnd && tagEnd > kBeforeTagEnd ? tagEnd - kBeforeTagEnd : tagEnd);
    const std::uint64_t to = std::min(tagEnd + kBehindTag, m_size);
    if (from < to) {
        Read(from, to);
    }
    const std::uint64_t read = std::max(head, to);
    if (plan.fileEnd && m_size > read) {
        Read(std::max(read, m_size - std::min<std::uint64_t>(m_size, kEndBytes)), m_size);
    }
}

std::unique_ptr<PrereadFile> PrereadFile::From(std::unique_ptr<platform::InputFile> file,
                                               PrereadPlan plan) {
    if (auto* preread = dynamic_cast<PrereadFile*>(file.get())) {
        file.release();
        return std::unique_ptr<PrereadFile>(preread);
    }
    return std::make_unique<PrereadFile>(std::move(file), plan);
}

namespace {

// Memory for `length` bytes read at `offset` and three zeros behind them, in step with the file
// (ReadLead); only the bytes that no read fills are cleared.
std::unique_ptr<unsigned char[]> ReadMemory(std::uint64_t offset, std::size_t length,
                                            std::size_t& lead) {
    auto memory = std::make_unique_for_overwrite<unsigned char[]>(length + 3 + kReadSlack);
    lead = ReadLead(offset, memory.get());
    return memory;
}

} // namespace

void PrereadFile::Read(std::uint64_t offset, std::uint64_t end) {
    Extent extent;
    extent.offset = offset;
    extent.length = static_cast<std::size_t>(end - offset);
    extent.memory = ReadMemory(offset, extent.length, extent.lead);
    unsigned char* const data = extent.memory.get() + extent.lead;
    std::size_t filled = 0;
    try {
        // A hole of a sparse file is the zeros it holds, without a read.
        if (m_file->DataFrom(offset) < end) {
            filled = extent.held = m_file->ReadAt(offset, data, extent.length);
        } else {
            extent.held = extent.length;
        }
    } catch (const platform::FileError& error) {
        extent.failure.emplace(error);
    }
    std::memset(data + filled, 0, extent.length - filled + 3);
    // Two adjacent reads of the start make one extent.
    if (!m_extents.empty() && m_extents.back().offset + m_extents.back().Length() == offset &&
        m_extents.back().held == m_extents.back().Length() && !m_extents.back().failure &&
        !extent.failure) {
        Extent& last = m_extents.back();
        std::size_t lead = 0;
        auto joined = ReadMemory(last.offset, last.length + extent.length, lead);
        std::memcpy(joined.get() + lead, last.Data(), last.length);
        std::memcpy(joined.get() + lead + last.length, data, extent.length + 3);
        last.memory = std::move(joined);
        last.lead = lead;
        last.length += extent.length;
        last.held += extent.held;
        return;
    }
    m_extents.push_back(std::move(extent));
}

const PrereadFile::Extent* PrereadFile::ExtentAt(std::uint64_t offset) const {
    for (const Extent& extent : m_extents) {
        if (offset >= extent.offset && offset < extent.offset + extent.Length()) {
            return &extent;
        }
    }
    return nullptr;
}

platform::InputFile::Buffered PrereadFile::BufferedAt(std::uint64_t offset) const {
    const Extent* extent = ExtentAt(offset);
    if (extent == nullptr || extent->failure) {
        return {};
    }
    const auto at = static_cast<std::size_t>(offset - extent->offset);
    return {extent->Data() + at, extent->Length() - at};
}

std::size_t PrereadFile::ReadAt(std::uint64_t offset, unsigned char* buffer, std::size_t count) {
    const Extent* extent = ExtentAt(offset);
    if (extent == nullptr || offset + count > extent->offset + extent->Length()) {
        return m_file->ReadAt(offset, buffer, count);
    }
    if (extent->failure) {
        throw *extent->failure;
    }
    const auto at = static_cast<std::size_t>(offset - extent->offset);
    const std::size_t held = extent->held > at ? std::min(count, extent->held - at) : 0;
    std::memcpy(buffer, extent->Data() + at, held);
    return held;
}

std::size_t PrereadFile::HeldBytes() const noexcept {
    std::size_t bytes = 0;
    for (const Extent& extent : m_extents) {
        bytes += extent.length + 3;
    }
    return bytes;
}

} // namespace quaverly::mpeg
