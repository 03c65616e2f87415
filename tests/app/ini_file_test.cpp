#include <gtest/gtest.h>

#include "app/file_faults.h"
#include "app/ini_file.h"

namespace veltro {
namespace {

using test::ReadWholeFile;
using test::TempFolder;
using test::WriteWholeFile;

TEST(IniFileReading, SectionsAndKeysAreFoundWithoutRegardToCase) {
    const IniFile ini = IniFile::parse("[Ethernet]\r\nport=4000\r\n[com PORT]\r\nNAME=COM3\r\n");
    EXPECT_EQ(ini.readString("Ethernet", "Port", "59615"), "4000");
    EXPECT_EQ(ini.readString("ETHERNET", "PORT", "59615"), "4000");
    EXPECT_EQ(ini.readString("Com port", "Name", "COM1"), "COM3");
    EXPECT_EQ(ini.readString("Com port", "Speed", "300"), "300");  // missing key: the fallback
    EXPECT_EQ(ini.readString("VODUD", "IP", "192.168.1.3"), "192.168.1.3");  // missing section
}

TEST(IniFileReading, LinesAreReadTheWayWindowsProfileFunctionsReadThem) {
    struct Case {
        const char* what;
        const char* text;
        std::optional<std::string> value;  // of [S] K
    } cases[] = {
        {"LF line ends", "[S]\nK=v\n", "v"},
        {"CRLF line ends", "[S]\r\nK=v\r\n", "v"},
        {"no final line end", "[S]\r\nK=v", "v"},
        {"lone CR ends a line too", "[S]\rK=v\rL=w\r", "v"},
        {"blanks around key, value and section name", "[ S ]\n  K \t=  v w \n", "v w"},
        {"double quotes removed", "[S]\nK=\" spaced \"\n", " spaced "},
        {"single quotes removed", "[S]\nK=';'\n", ";"},
        {"unmatched quote kept", "[S]\nK=\"abc\n", "\"abc"},
        {"empty value", "[S]\nK=\n", ""},
        {"value may hold '='", "[S]\nK=a=b\n", "a=b"},
        {"first of two keys wins", "[S]\nK=first\nK=second\n", "first"},
        {"first of two sections wins", "[S]\nK=first\n[S]\nK=second\n", "first"},
        {"key in a later section of another name is not found", "[T]\nK=v\n", std::nullopt},
        {"key before any section belongs to none", "K=v\n[S]\n", std::nullopt},
        {"comment line is no key", "[S]\n;K=v\n", std::nullopt},
        {"line without '=' is no key", "[S]\nK\n", std::nullopt},
        {"'=' without key is no key", "[S]\n=v\n", std::nullopt},
        {"header without ']' opens no section", "[S]\nK=one\n[T\nK=two\n", "one"},
        {"byte order mark before the first section", "\xEF\xBB\xBF[S]\nK=v\n", "v"},
        {"junk after the header's ']'", "[S] junk\nK=v\n", "v"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IniFile::parse(c.text).value("S", "K"), c.value) << c.what;
    }
}

TEST(IniFileReading, OverlongLinesAndBinaryJunkAreKeptButNeverRead) {
    const std::string longValue(IniFile::kMaxLineLength, 'x');
    std::string text = "[S]\nLong=" + longValue + "\nGood=1\n";
    text += std::string("Nul=a\0b\n", 8);
    text += "\xFF\xFE\x01\x02=\x80\x81\n";  // 8-bit junk that still has the shape of a key
    text += "[" + std::string(IniFile::kMaxLineLength, 'S') + "]\nHidden=1\n";
    const IniFile ini = IniFile::parse(text);
    EXPECT_FALSE(ini.value("S", "Long"));
    EXPECT_FALSE(ini.value("S", "Nul"));
    EXPECT_EQ(ini.value("S", "\xFF\xFE\x01\x02"), std::optional<std::string>("\x80\x81"));
    // The overlong header opened no section, so "Hidden" still belongs to [S].
    EXPECT_EQ(ini.value("S", "Hidden"), std::optional<std::string>("1"));
    EXPECT_EQ(ini.value("S", "Good"), std::optional<std::string>("1"));
    EXPECT_EQ(ini.render(), text);  // kept byte for byte
}

TEST(IniFileReading, IntegersAndBooleansThatDoNotParseGiveTheFallback) {
    const IniFile ini = IniFile::parse(
        "[S]\nPlain=12\nNegative=-3\nPlus=+7\nSuffix=12abc\nEmpty=\nHuge=99999999999\nHex=0x10\nSpaced= 42 \n"
        "One=1\nZero=0\nTwo=2\nTrue=TRUE\nFalse=false\nYes=yes\n");
    struct IntegerCase {
        const char* key;
        int expected;
    } integers[] = {{"Plain", 12}, {"Negative", -3}, {"Plus", 7}, {"Suffix", -1}, {"Empty", -1},
                    {"Huge", -1},  {"Hex", -1},      {"Spaced", 42}, {"Missing", -1}};
    for (const auto& c : integers) EXPECT_EQ(ini.readInteger("S", c.key, -1), c.expected) << c.key;

    struct BoolCase {
        const char* key;
        bool fallback;
        bool expected;
    } bools[] = {{"One", false, true},   {"Zero", true, false},  {"Two", false, true},
                 {"True", false, true},  {"False", true, false}, {"Yes", false, false},
                 {"Yes", true, true},    {"Suffix", true, true}, {"Missing", true, true}};
    for (const auto& c : bools) EXPECT_EQ(ini.readBool("S", c.key, c.fallback), c.expected) << c.key;
}

TEST(IniFileWriting, ExistingLinesStayAsTheyWereAndOnlyWrittenKeysChange) {
    const std::string before =
        "; written by an older version\r\n"
        "[Com port]\r\n"
        "Name = COM3\r\n"
        "OldKey=kept\r\n"
        "\r\n"
        "[Legacy]\r\n"
        "Anything=at all\r\n"
        "garbage line\r\n"
        "[Ethernet]\r\n"
        "port=4000\r\n";
    IniFile ini = IniFile::parse(before);
    ASSERT_TRUE(ini.writeString("Com port", "Name", "COM5"));
    ASSERT_TRUE(ini.writeString("Com port", "Speed", "2400"));  // new key: after the section's last key
    ASSERT_TRUE(ini.writeString("Ethernet", "Port", "5000"));   // same key as "port"
    ASSERT_TRUE(ini.writeBool("VODUD", "CloseTCP", true));     // new section: at the end
    ASSERT_TRUE(ini.writeInteger("VODUD", "EthTimeout", 50));
    EXPECT_EQ(ini.render(),
              "; written by an older version\r\n"
              "[Com port]\r\n"
              "Name=COM5\r\n"
              "OldKey=kept\r\n"
              "Speed=2400\r\n"
              "\r\n"
              "[Legacy]\r\n"
              "Anything=at all\r\n"
              "garbage line\r\n"
              "[Ethernet]\r\n"
              "port=5000\r\n"
              "[VODUD]\r\n"
              "CloseTCP=1\r\n"
              "EthTimeout=50\r\n");
}

TEST(IniFileWriting, KeepsTheLineEndingOfTheFileReadAndStartsNewFilesWithCrlf) {
    IniFile lf = IniFile::parse("[S]\nK=v\n");
    ASSERT_TRUE(lf.writeString("S", "L", "w"));
    EXPECT_EQ(lf.render(), "[S]\nK=v\nL=w\n");

    IniFile fresh = IniFile::parse("");
    ASSERT_TRUE(fresh.writeString("S", "K", "v"));
    EXPECT_EQ(fresh.render(), "[S]\r\nK=v\r\n");

    IniFile bom = IniFile::parse("\xEF\xBB\xBF[S]\r\nK=v\r\n");
    ASSERT_TRUE(bom.writeString("S", "K", "w"));
    EXPECT_EQ(bom.render(), "\xEF\xBB\xBF[S]\r\nK=w\r\n");
}

TEST(IniFileWriting, ValuesReadBackExactlyAsWritten) {
    for (const std::string value : {" ", " lead", "trail\t", "\"quoted\"", "'q'", "a=b", ";", "", "\xC3\xA9t\xC3\xA9"}) {
        IniFile ini;
        ASSERT_TRUE(ini.writeString("S", "K", value)) << value;
        EXPECT_EQ(IniFile::parse(ini.render()).value("S", "K"), std::optional<std::string>(value)) << value;
    }
}

TEST(IniFileWriting, RefusesWhatWouldSplitALineOrCouldNotBeReadBack) {
    IniFile ini = IniFile::parse("[S]\r\nK=v\r\n");
    const std::string before = ini.render();
    EXPECT_FALSE(ini.writeString("S", "K", "two\r\nlines"));
    EXPECT_FALSE(ini.writeString("S", "K", "line\nfeed"));
    EXPECT_FALSE(ini.writeString("S", "K", std::string("nul\0", 4)));
    EXPECT_FALSE(ini.writeString("S", "K", std::string(IniFile::kMaxLineLength, 'x')));
    EXPECT_FALSE(ini.writeString("S", "Key=", "v"));
    EXPECT_FALSE(ini.writeString("S", ";Key", "v"));
    EXPECT_FALSE(ini.writeString("S", "", "v"));
    EXPECT_FALSE(ini.writeString("S]", "K", "v"));
    EXPECT_FALSE(ini.writeString("", "K", "v"));
    EXPECT_EQ(ini.render(), before);
}

TEST(IniFileOnDisk, MissingFileIsNoErrorAndGivesAnEmptyFile) {
    TempFolder folder;
    const IniLoadResult result = LoadIniFile(folder / "veltro.ini");
    EXPECT_EQ(result.status, IniLoadResult::Status::Missing);
    EXPECT_FALSE(result.file.hasSection("Com port"));
    EXPECT_TRUE(result.error.empty());
}

TEST(IniFileOnDisk, AFileThatCannotBeReadIsAFailureWithItsReason) {
    TempFolder folder;
    std::filesystem::create_directory(folder / "veltro.ini");
    const IniLoadResult directory = LoadIniFile(folder / "veltro.ini");
    EXPECT_EQ(directory.status, IniLoadResult::Status::Failed);
    EXPECT_NE(directory.error.find("not a regular file"), std::string::npos) << directory.error;

    WriteWholeFile(folder / "big.ini", "[S]\n" + std::string(IniFile::kMaxFileSize, ';'));
    const IniLoadResult big = LoadIniFile(folder / "big.ini");
    EXPECT_EQ(big.status, IniLoadResult::Status::Failed);
    EXPECT_NE(big.error.find("larger than"), std::string::npos) << big.error;
}

} // namespace
} // namespace veltro
