// CWavFile: files it writes byte for byte, appending to canonical files only,
// and its header reader on the malformed files a host or an engine may hand
// it.
#include <gtest/gtest.h>

#include <thread>

#include "media_fixture.h"
#include "wav/wav_file.h"

namespace {

using namespace hcytest;

class WavFileTest : public MediaTest {
protected:
    std::string path = dir_.file("out.wav");
};

TEST_F(WavFileTest, WritesTheCanonicalHeaderAndBothSizesBeforeCloseReturns) {
    CWavFile file;
    plat::FileException error;
    ASSERT_EQ(file.OpenCreate(path.c_str(), &error), 1);
    ASSERT_EQ(file.InitHeader(8000), 1);
    file.Close();
    const std::string header = "RIFF" + U32(36) + "WAVEfmt " + U32(16) + U16(1) + U16(1) +
                               U32(8000) + U32(16000) + U16(2) + U16(16) + "data" + U32(0);
    EXPECT_EQ(ReadFile(path), header) << file.GetWriteError();

    ASSERT_EQ(file.OpenCreate(path.c_str(), &error), 1);  // truncates
    ASSERT_EQ(file.InitHeader(8000), 1);
    const Samples a = Ramp(160), b = Ramp(320, 1000);
    ASSERT_EQ(file.WriteSamples(a.data(), 320), 1);
    ASSERT_EQ(file.WriteSamples(b.data(), 640), 1);
    file.Close();
    EXPECT_FALSE(file.IsWriterRunning());
    EXPECT_EQ(file.GetRiffSize(), 996u) << file.GetWriteError();
    EXPECT_EQ(file.GetDataSize(), 960u);
    const std::string bytes = ReadFile(path);
    EXPECT_EQ(bytes.substr(0, 44), "RIFF" + U32(996) + header.substr(8, 28) + "data" + U32(960));
    EXPECT_EQ(bytes.substr(44), SampleBytes(a) + SampleBytes(b));
    // Nothing is posted once closed.
    EXPECT_EQ(file.WriteSamples(a.data(), 320), 0);
    EXPECT_EQ(file.InitHeader(8000), 0);
}

TEST_F(WavFileTest, AppendsToACanonicalFileWhateverTheObjectHeldAndRefusesOtherLayouts) {
    const std::string old(1000, '\x11');
    Write("out.wav", Wav(old, {.rate = 8000}));
    {
        CWavFile file;  // closed by its destructor, the writer joined
        ASSERT_EQ(file.OpenAppend(path.c_str(), nullptr), 1);
        const Samples more = Ramp(50);
        ASSERT_EQ(file.WriteSamples(more.data(), 100), 1);
    }
    const std::string bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), 44u + 1100u);
    EXPECT_EQ(bytes.substr(4, 4), U32(36 + 1100));
    EXPECT_EQ(bytes.substr(40, 4), U32(1100));
    EXPECT_EQ(bytes.substr(44 + 1000), SampleBytes(Ramp(50)));

    plat::FileException error;
    CWavFile file;
    EXPECT_EQ(file.OpenAppend(dir_.file("missing.wav").c_str(), &error), 0);
    EXPECT_EQ(error.m_cause, plat::FileException::fileNotFound);

    // Offsets 4 and 40 would not be the sizes, or appended bytes would not
    // be samples: each of these is refused and left as it was.
    const std::string samples(64, '\x22');
    const std::vector<std::string> others = {
        Riff(FmtChunk({.extra = std::string(2, '\0')}) + Chunk("data", samples)),  // fmt of 18
        Riff(FmtChunk({}) + Chunk("LIST", "INFO") + Chunk("data", samples)),       // chunk before
        Wav(samples) + Chunk("LIST", "INFO"),                                      // chunk after
        Riff(FmtChunk({}) + Chunk("data", samples, 999)),  // size not the file's
        Wav(samples).substr(0, 40),                        // shorter than 44
    };
    for (std::size_t i = 0; i < others.size(); ++i) {
        Write("other.wav", others[i]);
        error = {};
        EXPECT_EQ(file.OpenAppend(dir_.file("other.wav").c_str(), &error), 0) << i;
        EXPECT_EQ(error.m_cause, plat::FileException::invalidFile) << i;
        EXPECT_EQ(ReadFile(dir_.file("other.wav")), others[i]) << i;
    }
}

TEST_F(WavFileTest, OddSizesArePaddedAndAFailedWriteLeavesTheFileAsItsHeaderSays) {
    // Odd sizes had no pad byte, so readers that follow RIFF lost their way.
    CWavFile file;
    ASSERT_EQ(file.OpenCreate(path.c_str(), nullptr), 1);
    ASSERT_EQ(file.InitHeader(8000), 1);
    ASSERT_EQ(file.WriteSamples("abc", 3), 1);
    file.Close();
    EXPECT_EQ(ReadFile(path).substr(4),
              U32(40) + Wav("", {.rate = 8000}).substr(8, 32) + U32(3) + "abc" + '\0');
    ASSERT_EQ(file.OpenAppend(path.c_str(), nullptr), 1);  // over the pad
    ASSERT_EQ(file.WriteSamples("de", 2), 1);
    file.Close();
    EXPECT_EQ(ReadFile(path).substr(4),
              U32(42) + Wav("", {.rate = 8000}).substr(8, 32) + U32(5) + "abcde" + '\0')
        << file.GetWriteError();

    // A full disk: the block that did not fit was partly written, the
    // header kept the old sizes and the message went unseen; later blocks
    // would leave a gap.
    ASSERT_EQ(file.OpenCreate(path.c_str(), nullptr), 1);
    ASSERT_EQ(file.InitHeader(8000), 1);
    const Samples a = Ramp(500), b = Ramp(500, 500);
    {
        FileSizeLimit limit(44 + 1500);
        ASSERT_EQ(file.WriteSamples(a.data(), 1000), 1);
        ASSERT_EQ(file.WriteSamples(b.data(), 1000), 1);
        file.Close();
    }
    EXPECT_EQ(file.GetWriteError(), "Could not write " + path + ": File too large.");
    EXPECT_EQ(ReadFile(path), Wav(SampleBytes(a), {.rate = 8000}));
    EXPECT_EQ(file.WriteSamples(a.data(), 1000), 0);
    ASSERT_EQ(file.OpenAppend(path.c_str(), nullptr), 1);
    EXPECT_EQ(file.GetWriteError(), "");
    ASSERT_EQ(file.WriteSamples(b.data(), 1000), 1);
    file.Close();
    EXPECT_EQ(ReadFile(path), Wav(SampleBytes(a) + SampleBytes(b), {.rate = 8000}))
        << file.GetWriteError();
}

TEST_F(WavFileTest, BlocksFromSeveralThreadsAllArriveAndAddUp) {
    CWavFile file;
    ASSERT_EQ(file.OpenCreate(path.c_str(), nullptr), 1);
    ASSERT_EQ(file.InitHeader(16000), 1);
    std::vector<std::thread> producers;
    for (int t = 0; t < 4; ++t)
        producers.emplace_back([&] {
            const Samples block(160, 7);
            for (int i = 0; i < 100; ++i) file.WriteSamples(block.data(), 320);
        });
    for (auto& p : producers) p.join();
    file.Close();
    const std::string bytes = ReadFile(path);
    EXPECT_EQ(bytes.size(), 44u + 4 * 100 * 320);
    EXPECT_EQ(bytes.substr(40, 4), U32(4 * 100 * 320));
}

// What ReadHeader makes of a file: refused (0), or the data start and size.
struct HeaderCase {
    const char* name;
    std::string bytes;
    int result;
    std::uint64_t start = 0;
    std::uint32_t size = 0;
};

TEST_F(WavFileTest, ReadHeaderRefusesMalformedFilesAndNeverReadsPastWhatIsThere) {
    const std::string d(100, '\x33');
    const std::string fmt = FmtChunk({});
    const std::string list = Chunk("LIST", "INFOabcd");
    std::string manyJunk;
    for (int i = 0; i < 20000; ++i) manyJunk += Chunk("JUNK", "");
    const std::vector<HeaderCase> cases = {
        {"empty", "", 0},
        {"three bytes", "RIF", 0},
        {"RIFX", "RIFX" + Wav(d).substr(4), 0},
        {"RF64", "RF64" + Wav(d).substr(4), 0},
        {"zero byte in a tag", std::string("RI\0F", 4) + Wav(d).substr(4), 0},
        {"not WAVE", "RIFF" + U32(4) + "WAVX" + fmt + Chunk("data", d), 0},
        {"JUNK before fmt", Riff(Chunk("JUNK", "xx") + fmt + Chunk("data", d)), 0},
        {"fmt of 14", Riff(Chunk("fmt ", fmt.substr(8, 14)) + Chunk("data", d)), 0},
        {"fmt of 0", Riff(Chunk("fmt ", "") + Chunk("data", d)), 0},
        {"fmt of 4 GiB", Riff(Chunk("fmt ", fmt.substr(8), 0xFFFFFFFF) + Chunk("data", d)), 0},
        {"no data", Riff(fmt + list), 0},
        {"chunk past the end", Riff(fmt + Chunk("LIST", "abcd", 5000) + Chunk("data", d)), 0},
        {"chunk of 0xFFFFFFF8", Riff(fmt + Chunk("JUNK", "", 0xFFFFFFF8) + Chunk("data", d)), 0},
        {"cut in a chunk size", Riff(fmt).substr(0, 36) + "da", 0},
        {"LIST before data", Riff(fmt + list + Chunk("data", d)), 1, 36 + 16 + 8, 100},
        {"odd chunk with its pad", Riff(fmt + Chunk("JUNK", "abc") + Chunk("data", d)), 1, 56, 100},
        {"20000 empty chunks", Riff(fmt + manyJunk + Chunk("data", d)), 1, 36 + 160000 + 8, 100},
        {"data size 0", Wav(""), 1, 44, 0},
        {"data longer than the file", Riff(fmt + Chunk("data", d, 5000)), 1, 44, 100},
        {"data size 0xFFFFFFFF", Riff(fmt + Chunk("data", d, 0xFFFFFFFF)), 1, 44, 100},
        {"odd data size", Riff(fmt + Chunk("data", d.substr(0, 99))), 1, 44, 98},
        {"two data chunks", Riff(fmt + Chunk("data", d) + Chunk("data", d + d)), 1, 44, 100},
    };
    for (const auto& c : cases) {
        Write("in.wav", c.bytes);
        CWavFile file;
        ASSERT_EQ(file.OpenRead(dir_.file("in.wav").c_str(), nullptr), 1) << c.name;
        EXPECT_EQ(file.ReadHeader(), c.result) << c.name;
        if (c.result == 1) {
            EXPECT_EQ(file.GetDataStart(), c.start) << c.name;
            EXPECT_EQ(file.GetDataSize(), c.size) << c.name;
            std::string data(200, '\0');
            EXPECT_EQ(file.ReadData(data.data(), 200), c.size) << c.name;
        } else {
            std::string data(8, '\0');
            EXPECT_EQ(file.ReadData(data.data(), 8), 0u) << c.name;
        }
    }

    // A mismatch after the RIFF size keeps the size read; a good header
    // gives its format block.
    Write("in.wav", "RIFF" + U32(1234) + "WAVX");
    CWavFile file;
    ASSERT_EQ(file.OpenRead(dir_.file("in.wav").c_str(), nullptr), 1);
    EXPECT_EQ(file.ReadHeader(), 0);
    EXPECT_EQ(file.GetRiffSize(), 1234u);
    Write("in.wav", Wav(d, {.tag = 7, .rate = 8000}));
    ASSERT_EQ(file.OpenRead(dir_.file("in.wav").c_str(), nullptr), 1);
    ASSERT_EQ(file.ReadHeader(), 1);
    std::uint8_t block[16];
    file.GetFormat(block);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 16),
              FmtChunk({.tag = 7, .rate = 8000}).substr(8));
}

}  // namespace
