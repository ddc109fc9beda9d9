#include "mpeg/tag_worker_protocol.h"

#include <algorithm>
#include <cstring>

namespace quaverly::mpeg {

EncodedTagRequest EncodeTagRequest(const std::string& path, std::int64_t fileSize,
                                   const std::vector<TagFileRange>& ranges,
                                   const ReadFileBytes& read) {
    // Read a piece at a time; a piece of zeros joins the run of zeros before it.
    constexpr std::int64_t kChunk = 64 * 1024;
    TagRequestHeader header{static_cast<std::uint32_t>(path.size()), 0, fileSize};
    EncodedTagRequest request;
    std::string& message = request.message;
    message.assign(sizeof header, '\0');
    message += path;
    std::vector<unsigned char> chunk(static_cast<std::size_t>(kChunk));
    std::size_t last = 0; // where the last extent's record starts in the message
    TagRequestExtent extent;
    for (const TagFileRange& range : ranges) {
        for (std::int64_t at = range.offset; at < range.offset + range.length;) {
            const std::int64_t count = std::min(kChunk, range.offset + range.length - at);
            const auto bytes = static_cast<std::size_t>(count);
            read(at, bytes, chunk.data());
            const bool zeros = std::all_of(chunk.data(), chunk.data() + bytes,
                                           [](unsigned char byte) { return byte == 0; });
            if (header.extentCount > 0 && (extent.zeros != 0) == zeros &&
                extent.offset + extent.length == at) {
                extent.length += count;
            } else {
                last = message.size();
                extent = {at, count, zeros ? 1 : 0, 0};
                message.append(sizeof extent, '\0');
                ++header.extentCount;
            }
            std::memcpy(message.data() + last, &extent, sizeof extent);
            if (!zeros) {
                message.append(reinterpret_cast<const char*>(chunk.data()), bytes);
                request.carried += count;
            }
            at += count;
        }
    }
    std::memcpy(message.data(), &header, sizeof header);
    return request;
}

std::optional<TagRequest> DecodeTagRequest(const ReadExactly& read) {
    TagRequestHeader header;
    if (!read(&header, sizeof header) || header.pathLength > kMaxRequestPath ||
        header.extentCount > kMaxRequestExtents || header.fileSize < 0) {
        return std::nullopt;
    }
    TagRequest request;
    request.fileSize = header.fileSize;
    request.path.resize(header.pathLength);
    if (!read(request.path.data(), request.path.size())) {
        return std::nullopt;
    }
    std::string& bytes = request.bytes;
    std::int64_t end = 0;
    for (std::uint32_t i = 0; i < header.extentCount; ++i) {
        TagRequestExtent extent;
        if (!read(&extent, sizeof extent) || extent.offset < end || extent.length < 0 ||
            extent.length > header.fileSize - extent.offset ||
            (extent.zeros == 0 &&
             extent.length > kMaxRequestBytes - static_cast<std::int64_t>(bytes.size()))) {
            return std::nullopt;
        }
        const auto at = static_cast<std::int64_t>(bytes.size());
        // Taken a piece at a time, so that a message that claims more bytes than it brings
        // costs no more memory than it brought: a 32-bit helper cannot hold the bound at once.
        constexpr std::int64_t kPiece = 1 << 20;
        for (std::int64_t left = extent.zeros == 0 ? extent.length : 0; left > 0;) {
            const auto piece = static_cast<std::size_t>(std::min(left, kPiece));
            const std::size_t before = bytes.size();
            bytes.resize(before + piece);
            if (!read(bytes.data() + before, piece)) {
                return std::nullopt;
            }
            left -= static_cast<std::int64_t>(piece);
        }
        request.extents.push_back({{extent.offset, extent.length}, extent.zeros == 0 ? at : -1});
        end = extent.offset + extent.length;
    }
    return request;
}

std::string EncodeTagAnswer(const TagAnswer& answer) {
    std::string bytes(kTagAnswerBytes, '\0');
    std::memcpy(bytes.data(), &answer, kTagAnswerBytes);
    return bytes;
}

std::optional<TagAnswer> DecodeTagAnswer(std::string_view bytes) {
    if (bytes.size() < kTagAnswerBytes) {
        return std::nullopt;
    }
    TagAnswer answer;
    std::memcpy(&answer, bytes.data(), kTagAnswerBytes);
    return answer;
}

} // namespace quaverly::mpeg
