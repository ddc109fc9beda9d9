// What the program and its tag helper say to each other: each message decodes to what was
// encoded, and input that is cut short or makes no sense is refused without harm.

#include "mpeg/tag_worker_protocol.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace quaverly::mpeg {
namespace {

// A file of bytes that are not zeros, with a run of zeros longer than a piece of the encoder.
std::string FileWithZeros() {
    std::string file(300'000, '\0');
    for (std::size_t i = 0; i < file.size(); ++i) {
        if (i < 100'000 || i >= 250'000) {
            file[i] = static_cast<char>(1 + i % 251);
        }
    }
    return file;
}

EncodedTagRequest Encode(const std::string& path, const std::string& file,
                         const std::vector<TagFileRange>& ranges) {
    return EncodeTagRequest(path, static_cast<std::int64_t>(file.size()), ranges,
                            [&](std::int64_t at, std::size_t count, unsigned char* out) {
                                std::memcpy(out, file.data() + at, count);
                            });
}

std::optional<TagRequest> Decode(std::string_view message) {
    return DecodeTagRequest([&](void* data, std::size_t size) {
        if (message.size() < size) {
            return false;
        }
        std::memcpy(data, message.data(), size);
        message.remove_prefix(size);
        return true;
    });
}

TEST(TagWorkerProtocol, RequestsDecodeToTheBytesTheyCarry) {
    const std::string file = FileWithZeros();
    const std::vector<TagFileRange> ranges{{0, 10}, {90'000, 200'000}, {299'000, 1000}};
    const EncodedTagRequest sent = Encode("/music/a.mp3", file, ranges);
    const std::optional<TagRequest> request = Decode(sent.message);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->path, "/music/a.mp3");
    EXPECT_EQ(request->fileSize, 300'000);

    // Read in pieces of 64 KiB: a piece of zeros travels as its length only, and pieces of a
    // kind that touch make one extent.
    const std::vector<TagRequest::Extent> extents{{{0, 10}, 0},
                                                  {{90'000, 65'536}, 10},
                                                  {{155'536, 65'536}, -1},
                                                  {{221'072, 68'928}, 65'546},
                                                  {{299'000, 1000}, 134'474}};
    EXPECT_EQ(request->extents, extents);
    EXPECT_EQ(sent.carried, 135'474);
    ASSERT_EQ(request->bytes.size(), 135'474U);
    for (const TagRequest::Extent& extent : request->extents) {
        if (extent.start >= 0) {
            EXPECT_EQ(request->bytes.substr(static_cast<std::size_t>(extent.start),
                                            static_cast<std::size_t>(extent.range.length)),
                      file.substr(static_cast<std::size_t>(extent.range.offset),
                                  static_cast<std::size_t>(extent.range.length)));
        }
    }

    // The records lie where the helper of an older build reads them.
    TagRequestHeader header;
    std::memcpy(&header, sent.message.data(), sizeof header);
    EXPECT_EQ(header.pathLength, 12U);
    EXPECT_EQ(header.extentCount, 5U);
    TagRequestExtent zeros;
    std::memcpy(&zeros, sent.message.data() + 16 + 12 + 2 * 24 + 10 + 65'536, sizeof zeros);
    EXPECT_EQ(zeros.offset, 155'536);
    EXPECT_EQ(zeros.length, 65'536);
    EXPECT_EQ(zeros.zeros, 1);
}

TEST(TagWorkerProtocol, RequestsCutShortOrOutOfBoundsAreRefused) {
    const std::string file = FileWithZeros();
    const std::string message =
        Encode("a.mp3", file, {{0, 20}, {100'000, 30}, {260'000, 5}}).message;
    ASSERT_TRUE(Decode(message));
    for (std::size_t length = 0; length < message.size(); ++length) {
        EXPECT_FALSE(Decode(message.substr(0, length))) << length;
    }

    const auto headerWith = [](std::uint32_t pathLength, std::uint32_t extents, std::int64_t size) {
        std::string bytes(sizeof(TagRequestHeader), '\0');
        const TagRequestHeader header{pathLength, extents, size};
        std::memcpy(bytes.data(), &header, sizeof header);
        return bytes;
    };
    const auto extent = [](std::int64_t offset, std::int64_t length, std::int32_t zeros) {
        std::string bytes(sizeof(TagRequestExtent), '\0');
        const TagRequestExtent record{offset, length, zeros, 0};
        std::memcpy(bytes.data(), &record, sizeof record);
        return bytes;
    };
    EXPECT_TRUE(Decode(headerWith(0, 2, 100) + extent(0, 10, 1) + extent(10, 90, 1)));
    EXPECT_FALSE(Decode(headerWith(kMaxRequestPath + 1, 0, 100)));
    EXPECT_FALSE(Decode(headerWith(0, kMaxRequestExtents + 1, 100)));
    EXPECT_FALSE(Decode(headerWith(0, 0, -1)));
    EXPECT_FALSE(Decode(headerWith(0, 1, 100) + extent(-1, 10, 1)));
    EXPECT_FALSE(Decode(headerWith(0, 1, 100) + extent(0, -1, 1)));
    EXPECT_FALSE(Decode(headerWith(0, 1, 100) + extent(50, 51, 1)));
    EXPECT_FALSE(Decode(headerWith(0, 2, 100) + extent(0, 10, 1) + extent(9, 10, 1)));
    EXPECT_FALSE(Decode(headerWith(0, 1, INT64_MAX) + extent(0, INT64_MAX, 0)));
    EXPECT_FALSE(Decode(headerWith(0, 1, INT64_MAX) + extent(0, kMaxRequestBytes + 1, 0)));

    // Noise: refused or taken, but read within its bounds.
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string noise = message;
        for (int flips = 0; flips < 4; ++flips) {
            noise[random() % noise.size()] = static_cast<char>(random());
        }
        if (const std::optional<TagRequest> request = Decode(noise)) {
            EXPECT_LE(request->bytes.size(), noise.size());
        }
    }
}

TEST(TagWorkerProtocol, AnswersDecodeWhenWhole) {
    const TagAnswer needs{0, TagAnswerStatus::NeedsBytes, 0, 4096, 512};
    const std::string bytes = EncodeTagAnswer(needs) + EncodeTagAnswer({1234});
    ASSERT_EQ(bytes.size(), 2 * kTagAnswerBytes);

    const std::optional<TagAnswer> first = DecodeTagAnswer(bytes);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->status, TagAnswerStatus::NeedsBytes);
    EXPECT_EQ(first->missingOffset, 4096);
    EXPECT_EQ(first->missingLength, 512);
    const std::optional<TagAnswer> second =
        DecodeTagAnswer(std::string_view(bytes).substr(kTagAnswerBytes));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->bytes, 1234);
    EXPECT_EQ(second->status, TagAnswerStatus::Measured);

    EXPECT_FALSE(DecodeTagAnswer(std::string_view(bytes).substr(0, kTagAnswerBytes - 1)));
    EXPECT_FALSE(DecodeTagAnswer({}));
}

} // namespace
} // namespace quaverly::mpeg
