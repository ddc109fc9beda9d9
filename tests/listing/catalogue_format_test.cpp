#include "listing/catalogue_format.h"
#include "listing/catalogue_page.h"
#include "platform/last_error.h"

#include "support/memory_file_system.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace quaverly::listing {
namespace {

// A file of `seconds` at `kbps` by `encoder`, as its scan gives it.
mpeg::FileScan Scan(int kbps, double seconds, const char* encoder, std::uint32_t health = 0) {
    mpeg::FileScan scan;
    scan.size = 1000;
    scan.bitrate = kbps;
    scan.facts.emplace();
    scan.facts->mpegVersion = 1;
    scan.facts->layer = 3;
    scan.facts->sampleRate = 44100;
    scan.facts->seconds = seconds;
    scan.facts->averageBitrate = kbps;
    scan.facts->bitrateMode = "CBR";
    scan.facts->health = health;
    scan.facts->encoderTag.emplace();
    scan.facts->encoderTag->encoder = encoder;
    return scan;
}

class Catalogue : public ::testing::Test {
protected:
    void Folder(const std::string& path) { format.FolderRow(page, "/m" + Native(path)); }
    void File(const std::string& folder, const std::string& name, const mpeg::FileScan* scan) {
        const std::string path = "/m" + Native(folder + "/" + name);
        format.WriteFileRow(page, FileRow{path, name, RowShade::Plain, scan, 1000});
    }
    // The data's elements, one a line, without the page around them.
    std::vector<std::string> Data() {
        format.End(page, report);
        page.Close();
        EXPECT_TRUE(bytes.starts_with(CataloguePageHead()));
        EXPECT_TRUE(bytes.ends_with(CataloguePageTail()));
        const std::size_t head = CataloguePageHead().size();
        std::istringstream data(
            bytes.substr(head, bytes.size() - head - CataloguePageTail().size()));
        std::vector<std::string> lines;
        for (std::string line; std::getline(data, line) && line != "]";) {
            lines.push_back(line.substr(0, line.size() - (line.back() == ',' ? 1 : 0)));
        }
        return lines;
    }
    static std::string Native(std::string path) {
        std::replace(path.begin(), path.end(), '/', platform::kPathSeparator);
        return path;
    }

    std::string bytes;
    PageWriter page{std::make_unique<testing::MemoryOutputFile>(bytes)};
    CatalogueFormat format{""};
    RunReport report;
};

// A folder's roll-up follows its files and counts every folder below it, one the walk never
// wrote (it could not be listed) too; what files share is written once.
TEST_F(Catalogue, RollupsCountEveryFolderBelowAndSharedFactsAreWrittenOnce) {
    const mpeg::FileScan low = Scan(96, 10, "LAME3.100");
    const mpeg::FileScan high = Scan(320, 30, "LAME3.99r", 1);
    format.Begin(page, "/m");
    Folder("/A/deep"); // "/m/A" is never written
    File("/A/deep", "1.mp3", &low);
    File("/A/deep", "2.mp3", &low);
    Folder("/B");
    File("/B", "cover.jpg", nullptr);
    Folder("");
    File("", "3.mp3", &high);
    const std::vector<std::string> data = Data();

    ASSERT_EQ(data.size(), 14U);
    EXPECT_EQ(data[1], "[1," + std::string(platform::kPathSeparator == '/' ? "\"A/deep\"]"
                                                                           : "\"A\\\\deep\"]"));
    EXPECT_EQ(data[2], "[2,1,3,44100,\"stereo\",null,\"estimate\",\"CBR\",\"LAME3.100\"]");
    EXPECT_EQ(data[3], "[3]");
    EXPECT_EQ(data[4], "[\"1.mp3\",1000,96,0,0,10.000,96,0]");
    EXPECT_EQ(data[5], "[\"2.mp3\",1000,96,0,0,10.000,96,0]");
    EXPECT_EQ(data[6], "[4,2,2,2000,20.000,96,96,0,{\"LAME3.100\":2},{\"CBR\":2}]");
    EXPECT_EQ(data[7], "[1,\"B\"]");
    EXPECT_EQ(data[8], "[\"cover.jpg\",1000]");
    EXPECT_EQ(data[9], "[4,1,0,1000,0.000,null,null,0,{},{}]");
    EXPECT_EQ(data[10], "[1,\"\"]");
    EXPECT_EQ(data[11], "[2,1,3,44100,\"stereo\",null,\"estimate\",\"CBR\",\"LAME3.99r\"]");
    EXPECT_EQ(data[12], "[\"3.mp3\",1000,320,1,0,30.000,320,0,null,null,null,[\"cut-short\"]]");
    // (96 * 20 + 320 * 30) / 50 = 230.4
    EXPECT_EQ(data[13], "[4,4,3,4000,50.000,96,230,1,{\"LAME3.100\":2,\"LAME3.99r\":1},"
                        "{\"CBR\":3}]");
}

// A tree of files that each name another encoder counts the names past the first 32 together,
// so that a roll-up's memory stays bounded.
TEST_F(Catalogue, EncodersPastTheFirstThirtyTwoAreCountedTogether) {
    format.Begin(page, "/m");
    Folder("");
    std::vector<mpeg::FileScan> scans;
    for (int i = 0; i < 40; ++i) {
        scans.push_back(Scan(128, 1, ("E" + std::to_string(100 + i)).c_str()));
    }
    for (const mpeg::FileScan& scan : scans) {
        File("", "a.mp3", &scan);
    }
    const std::string rollup = Data().back();
    EXPECT_NE(rollup.find("\"E131\":1,\"\xE2\x80\xA6\":8}"), std::string::npos) << rollup;
}

// A run that could not read a folder says so last, with the folder's path below the one listed.
TEST_F(Catalogue, FailuresOfTheRunComeLast) {
    format.Begin(page, "/m");
    Folder("");
    report.RecordFailure("/m" + Native("/locked"), platform::kErrorAccessDenied, "Access denied");
    EXPECT_EQ(Data().back(), "[5,false,1,[[\"locked\",\"Access denied\"]]]");
}

// Two sparse files of 7 EiB each state more bytes than a number holds.
TEST_F(Catalogue, SizesPastWhatANumberHoldsSumToTheMostItHolds) {
    format.Begin(page, "/m");
    Folder("");
    for (const char* name : {"a.bin", "b.bin"}) {
        format.WriteFileRow(page, FileRow{"/m/" + std::string(name), name, RowShade::Plain, nullptr,
                                          std::int64_t{7} << 60});
    }
    EXPECT_EQ(Data().back(), "[4,2,0,9223372036854775807,0.000,null,null,0,{},{}]");
}

TEST(FileUrl, PercentEncodesEveryByteButTheUnreserved) {
#ifdef _WIN32
    EXPECT_EQ(FileUrl("C:\\Users\\me\\My Music #1.html"),
              "file:///C:/Users/me/My%20Music%20%231.html");
    EXPECT_EQ(FileUrl("\\\\server\\share\\a.html"), "file://server/share/a.html");
#else
    EXPECT_EQ(FileUrl("/home/me/My Music/100%_a~b?#\xC3\xA9.html"),
              "file:///home/me/My%20Music/100%25_a~b%3F%23%C3%A9.html");
#endif
}

#ifndef _WIN32
TEST(LinkBase, LeadsFromThePagesFolderToTheFolderListed) {
    EXPECT_EQ(LinkBase("/home/me/mp3_catalogue.html", "/home/me/Music"), "Music/");
    EXPECT_EQ(LinkBase("/home/me/Music/page.html", "/home/me/Music"), "");
    EXPECT_EQ(LinkBase("/tmp/./x/../page.html", "/home/me/Music/"), "../home/me/Music/");
    EXPECT_EQ(LinkBase("/page.html", "/my music/#1 ?%"), "my%20music/%231%20%3F%25/");
    EXPECT_EQ(LinkBase("/page.html", "/a:b/\xC3\xA9"), "a%3Ab/%C3%A9/");
}
#else
TEST(LinkBase, LeadsFromThePagesFolderToTheFolderListedOrToItsDrive) {
    EXPECT_EQ(LinkBase("C:\\Users\\me\\page.html", "C:\\Users\\me\\Music"), "Music/");
    EXPECT_EQ(LinkBase("C:\\page.html", "D:\\My Music"), "file:///D:/My%20Music/");
    EXPECT_EQ(LinkBase("C:\\page.html", "\\\\server\\share\\a"), "file://server/share/a/");
}
#endif

} // namespace
} // namespace quaverly::listing
