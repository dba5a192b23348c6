// The configuration file's reading and writing rules, and the registry
// fallback when the file cannot be read.
#include <filesystem>

#include "support/library_fixture.h"

class ConfigFileTest : public LibraryTest {
protected:
    std::string Text() const { return hcytest::ReadFile(dir_.file("Tervale.cfg")); }
};

TEST_F(ConfigFileTest, KeysMatchByPrefixAndTakeEverythingAfterOneCharacter) {
    WriteConfig("[ARC164]\nMinFreqX=1\nMinFreq=2\nMaxFreq = 5\nGuardFreq\nTODToneWav=a=b.wav\n");
    EXPECT_EQ(theApp.GetProfileString("ARC164", "MinFreq", "d"), "=1");
    EXPECT_EQ(theApp.GetProfileInt("ARC164", "MinFreq", 9), 0);
    EXPECT_EQ(theApp.GetProfileString("ARC164", "MaxFreq", "d"), "= 5");
    EXPECT_EQ(theApp.GetProfileInt("ARC164", "MaxFreq", 9), 0);
    EXPECT_EQ(theApp.GetProfileString("ARC164", "GuardFreq", "d"), "");  // key alone
    EXPECT_EQ(theApp.GetProfileString("ARC164", "TODToneWav", "d"), "a=b.wav");
    EXPECT_EQ(theApp.GetProfileString("ARC164", "Missing", "d"), "d");
    EXPECT_EQ(theApp.GetProfileInt("Nowhere", "MinFreq", 9), 9);
}

TEST_F(ConfigFileTest, SectionLinesMatchExactlyAndEndAtBracketedLines) {
    WriteConfig(
        "[ARC164] \nMinFreq=1\n"
        "[ARC186]\nMinAMFreq=2\n; [note] ends it\nMaxAMFreq=3\n"
        "[ARC186]\nMaxAMFreq=4\n");
    EXPECT_EQ(theApp.GetProfileInt("ARC164", "MinFreq", -1), -1);  // trailing blank
    EXPECT_EQ(theApp.GetProfileInt("ARC186", "MinAMFreq", -1), 2);
    // The line with "[" and "]" ends the section; the second copy is ignored.
    EXPECT_EQ(theApp.GetProfileInt("ARC186", "MaxAMFreq", -1), -1);
}

TEST_F(ConfigFileTest, IntegersReadLikeTheCLibraryWithoutOverflow) {
    WriteConfig("[Network]\nRecvBuf=  -42xyz\nQFlush=abc\nPrimPort=99999999999999\n");
    EXPECT_EQ(theApp.GetProfileInt("Network", "RecvBuf", 0), -42);
    EXPECT_EQ(theApp.GetProfileInt("Network", "QFlush", 7), 0);
    EXPECT_EQ(theApp.GetProfileInt("Network", "PrimPort", 0), INT_MAX);
}

TEST_F(ConfigFileTest, CrLfFilesReadAndKeepTheirLineEnds) {
    WriteConfig("; comment\r\n[Radio]\r\nSquelchLevel=3\r\n");
    EXPECT_EQ(theApp.GetProfileInt("Radio", "SquelchLevel", 7), 3);
    EXPECT_EQ(theApp.WriteProfileInt("Radio", "SquelchLevel", 4), 1);
    EXPECT_EQ(Text(), "; comment\r\n[Radio]\r\nSquelchLevel=4\r\n");
}

TEST_F(ConfigFileTest, WritesInsertReplaceAndAppend) {
    WriteConfig("; keep me\n[DIS_IDs]\nSiteID=12345\n\n[Other]\nx=1\n");
    EXPECT_EQ(theApp.WriteProfileInt("DIS_IDs", "SiteID", 7), 1);                // shorter value
    EXPECT_EQ(theApp.WriteProfileInt("DIS_IDs", "HostID", 9), 1);                // missing key
    EXPECT_EQ(theApp.WriteProfileString("Network", "BindAdx", "127.0.0.1"), 1);  // new section
    EXPECT_EQ(Text(),
              "; keep me\n[DIS_IDs]\nHostID=9\nSiteID=7\n\n[Other]\nx=1\n"
              "\n[Network]\nBindAdx=127.0.0.1\n");
    EXPECT_EQ(theApp.GetProfileString("Network", "BindAdx", ""), "127.0.0.1");
}

TEST_F(ConfigFileTest, WritesGoToTheFirstCopyOfASection) {
    WriteConfig("[S]\na=1\n[S]\na=2\n");
    EXPECT_EQ(theApp.WriteProfileInt("S", "a", 3), 1);
    EXPECT_EQ(Text(), "[S]\na=3\n[S]\na=2\n");
}

TEST_F(ConfigFileTest, FolderComesFromTheRegistryPathValue) {
    hcytest::TempDir other;
    hcytest::WriteFile(other.file("Tervale.cfg"), "[Radio]\nSquelchLevel=2\n");
    WriteConfig("[Radio]\nSquelchLevel=9\n");
    EXPECT_EQ(theApp.GetProfileInt("Radio", "SquelchLevel", 7), 9);  // working folder
    ASSERT_TRUE(plat::RegWriteString("ConfigFile", "Path", other.path().c_str()));
    EXPECT_EQ(theApp.GetProfileInt("Radio", "SquelchLevel", 7), 2);
    // The Path value is never read from the file.
    hcytest::WriteFile(other.file("Tervale.cfg"),
                       "[ConfigFile]\nPath=/nowhere\n[Radio]\nSquelchLevel=1\n");
    EXPECT_EQ(theApp.GetProfileInt("Radio", "SquelchLevel", 7), 1);
}

TEST_F(ConfigFileTest, WithoutAFileTheRegistryStandsInAndNoFileIsCreated) {
    EXPECT_EQ(theApp.GetProfileInt("Radio", "SquelchLevel", 7), 7);
    EXPECT_EQ(theApp.WriteProfileInt("Radio", "SquelchLevel", 3), 1);
    EXPECT_EQ(theApp.GetProfileInt("Radio", "SquelchLevel", 7), 3);
    EXPECT_EQ(theApp.WriteProfileString("Network", "BindAdx", "127.0.0.1"), 1);
    EXPECT_EQ(theApp.GetProfileString("Network", "BindAdx", ""), "127.0.0.1");
    EXPECT_FALSE(std::filesystem::exists(dir_.file("Tervale.cfg")));
    EXPECT_EQ(plat::RegGetInt("Radio", "SquelchLevel", 0), 3);
}
