// The byte sources of the readers: positioned reads and the cursor, from a file and from memory.
#include "core/error.h"
#include "formats/byte_source.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace quillon;

TEST(ByteSource, FileAndMemoryReadTheSameBytesAtAnyOffsetFromAnyThread) {
    std::string bytes(300000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7919) >> 3);
    testkit::TempDir dir;
    const std::string path = dir.file("bytes.bin");
    testkit::writeFile(path, bytes);
    FileSource file(path, "nicht zu öffnen");
    MemorySource memory(bytes.data(), bytes.size());
    EXPECT_TRUE(file.regularFile());
    for (const ByteSource* src :
         {static_cast<const ByteSource*>(&file), static_cast<const ByteSource*>(&memory)}) {
        ASSERT_EQ(src->size(), bytes.size());
        // Four workers read interleaved 128 KiB chunks at once, as the FITS reader does.
        std::vector<std::string> got(4, std::string(bytes.size(), '\0'));
        std::vector<std::thread> workers;
        for (std::size_t t = 0; t < 4; ++t)
            workers.emplace_back([&, t] {
                for (std::size_t at = t * 131072; at < bytes.size(); at += 4 * 131072)
                    src->readAt(at, got[0].data() + at, 131072);
            });
        for (auto& w : workers) w.join();
        EXPECT_EQ(got[0], bytes);
        char tail[10];
        EXPECT_EQ(src->readAt(bytes.size() - 4, tail, sizeof tail), 4u) << "short at the end";
        EXPECT_FALSE(src->readExactAt(bytes.size() - 4, tail, sizeof tail));
        EXPECT_EQ(src->readAt(bytes.size() + 5, tail, sizeof tail), 0u);
    }
    // The cursor is independent of positioned reads.
    char a[3], b[3];
    ASSERT_TRUE(file.seek(1000));
    ASSERT_TRUE(file.readExactAt(5, b, 3));
    ASSERT_TRUE(file.readExact(a, 3));
    EXPECT_EQ(std::string(a, 3), bytes.substr(1000, 3));
    EXPECT_EQ(std::string(b, 3), bytes.substr(5, 3));
    EXPECT_EQ(file.position(), 1003u);
    EXPECT_EQ(file.remaining(), bytes.size() - 1003);
    EXPECT_FALSE(file.seek(bytes.size() + 1));
    EXPECT_TRUE(file.seek(bytes.size()));
    EXPECT_EQ(file.read(a, 3), 0u);
}

TEST(ByteSource, MissingFileAndDirectory) {
    testkit::TempDir dir;
    try {
        FileSource missing(dir.file("missing.bin"), "Datei nicht gefunden");
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Datei nicht gefunden");
    }
    // A folder either cannot be opened (no end to seek to) or opens as no regular file.
    try {
        FileSource folder(dir.path().string(), "Ordner");
        EXPECT_FALSE(folder.regularFile());
        char c;
        EXPECT_EQ(folder.readAt(0, &c, 1), 0u);
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Ordner");
    }
}

// A view of a file that is cut short while it is being read: the pages beyond the new end are
// gone, and reading them must be reported instead of ending the program, from any thread.
TEST(ByteSource, ViewOfAFileThatShrinksReportsTheLostPages) {
    std::string bytes(5 * 4096 + 100, 'q');
    testkit::TempDir dir;
    const std::string path = dir.file("shrinks.bin");
    testkit::writeFile(path, bytes);
    FileSource file(path, "nicht zu öffnen");
    MemorySource memory(bytes.data(), bytes.size());
    EXPECT_TRUE(file.viewAt(10, bytes.size()).empty()) << "beyond the end";
    EXPECT_EQ(memory.viewAt(7, 3).data(), reinterpret_cast<const std::uint8_t*>(bytes.data() + 7));

    const ByteView view = file.viewAt(100, bytes.size() - 100);
    ASSERT_FALSE(view.empty());
    long sum = 0;
    EXPECT_TRUE(view.access([&] { sum += view.data()[bytes.size() - 101]; }));
    EXPECT_EQ(sum, 'q');
    ASSERT_EQ(::truncate(path.c_str(), 4096), 0);
    for (int t = 0; t < 2; ++t) {
        bool first = true, last = true;
        std::thread([&] {
            first = view.access([&] { sum += view.data()[0]; });
            last = view.access([&] { sum += view.data()[4 * 4096]; });
        }).join();
        EXPECT_TRUE(first);
        EXPECT_FALSE(last);
    }
    // A Cancelled or Error thrown inside passes through unchanged.
    EXPECT_THROW(view.access([] { throw Error("x"); }), Error);
}
