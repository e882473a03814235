#include "orlBasics/orlIO.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "orlBasics/orlException.h"
#include "support/raises.h"
#include "support/tempDir.h"

namespace {

using veskortest::messageHead;
using veskortest::raisedBy;
using veskortest::startsWith;

using veskortest::readFileBytes;
using veskortest::TempDir;
using veskortest::writeFileBytes;

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

class OrlIO : public ::testing::Test {
 protected:
  TempDir dir;
  std::string file = dir.file("data.bin");

  template <class F>
  std::string written(F&& f) {
    orl::StreamPtr out(stream_createFileOutputStream(file.c_str()));
    f(out.get());
    out.reset();
    return readFileBytes(file);
  }
  orl::StreamPtr reader(const std::string& content) {
    writeFileBytes(file, content);
    return orl::StreamPtr(stream_createFileInputStream(file.c_str()));
  }
};

TEST_F(OrlIO, ExactBytesOfThePrimitives) {
  EXPECT_EQ(written([](orlStream* s) { stream_writeInt32(s, 1); }), bytes({1, 0, 0, 0}));
  EXPECT_EQ(written([](orlStream* s) { stream_writeFloat32(s, 1.0f); }), bytes({0, 0, 0x80, 0x3F}));
  EXPECT_EQ(written([](orlStream* s) { stream_writeFloat64(s, 1.0); }), bytes({0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
  EXPECT_EQ(written([](orlStream* s) { stream_writeString(s, "abc"); }), bytes({3, 0, 0, 0, 'a', 'b', 'c'}));
  EXPECT_EQ(written([](orlStream* s) { stream_writeString(s, nullptr); }), bytes({0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(written([](orlStream* s) { stream_writeChars(s, "KBSE"); }), "KBSE");
  const int32_t values[] = {-1, 258};
  EXPECT_EQ(written([&](orlStream* s) { stream_writeInt32Array(s, 2, values); }),
            bytes({2, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 2, 1, 0, 0}));
  EXPECT_EQ(written([](orlStream* s) { stream_writeInt32Array(s, 0, nullptr); }), bytes({0, 0, 0, 0}));
  EXPECT_EQ(written([](orlStream* s) { stream_writeByteArray(s, 2, "\x50\x14"); }), bytes({2, 0, 0, 0, 0x50, 0x14}));
}

TEST_F(OrlIO, ReadsBackWhatWasWritten) {
  written([](orlStream* s) {
    const int32_t values[] = {7, 8, 9};
    stream_writeInt32(s, -5);
    stream_writeInt32Array(s, 3, values);
    stream_writeInt32Array(s, 0, nullptr);
    stream_writeString(s, "Stra\xDF" "e");
    stream_writeString(s, "");
    stream_writeString(s, nullptr);
    stream_writeByteArray(s, 3, "xyz");
    stream_writeFloat32(s, 0.25f);
    stream_writeFloat64(s, -2.5);
  });
  orl::StreamPtr in(stream_createFileInputStream(file.c_str()));
  EXPECT_EQ(stream_remainingBytes(in.get()), static_cast<int64_t>(readFileBytes(file).size()));
  EXPECT_EQ(stream_readInt32(in.get()), -5);
  int32Array array = stream_readInt32Array(in.get());
  ASSERT_EQ(array.count, 3);
  EXPECT_EQ(array.array[2], 9);
  orlFree(array.array);
  array = stream_readInt32Array(in.get());
  EXPECT_EQ(array.count, 0);
  EXPECT_EQ(array.array, nullptr);
  orl::OwnedText text(stream_readString(in.get()));
  EXPECT_STREQ(text.get(), "Stra\xDF" "e");
  EXPECT_EQ(stream_readString(in.get()), nullptr);  // empty reads back as null
  EXPECT_EQ(stream_readString(in.get()), nullptr);
  byteArray block = stream_readByteArray(in.get());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block.bytes), 3), "xyz");
  orlFree(block.bytes);
  EXPECT_EQ(stream_readFloat32(in.get()), 0.25f);
  EXPECT_EQ(stream_readFloat64(in.get()), -2.5);
  EXPECT_EQ(stream_remainingBytes(in.get()), 0);
  orl::Exception e = raisedBy([&] { stream_readInt32(in.get()); });
  EXPECT_EQ(e.group(), 5000);
  EXPECT_EQ(e.code(), 4);
  EXPECT_EQ(messageHead(e), "Lesefehler in stream_readInt32");
}

TEST_F(OrlIO, TruncatedBlocksReportBytesReadAndExpected) {
  orl::StreamPtr in = reader(bytes({10, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
  orl::Exception e = raisedBy([&] { stream_readInt32Array(in.get()); });
  EXPECT_EQ(e.code(), 4);
  EXPECT_EQ(messageHead(e), "Lesefehler in stream_readInt32Array: 8 Bytes von 40 Bytes gelesen");

  in = reader(bytes({5, 0, 0, 0, 'a', 'b'}));
  EXPECT_EQ(messageHead(raisedBy([&] { stream_readString(in.get()); })),
            "Lesefehler in stream_readString: 2 Bytes von 5 Bytes gelesen");

  in = reader(bytes({3, 0, 0, 0, 'a'}));
  EXPECT_EQ(messageHead(raisedBy([&] { stream_readByteArray(in.get()); })),
            "Lesefehler in stream_readByteArray: 1 Bytes von 3 Bytes gelesen");

  in = reader(bytes({1, 2}));
  EXPECT_EQ(messageHead(raisedBy([&] { stream_readFloat64(in.get()); })), "Lesefehler in stream_readFloat64");
}

TEST_F(OrlIO, HostileCountsAreRefusedBeforeAnyAllocation) {
  // 0x7FFFFFFF int32 values would be 8 GiB; the file holds four bytes after the count.
  orl::StreamPtr in = reader(bytes({0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3, 4}));
  EXPECT_EQ(messageHead(raisedBy([&] { stream_readInt32Array(in.get()); })),
            "Lesefehler in stream_readInt32Array: 4 Bytes von 8589934588 Bytes gelesen");

  in = reader(bytes({0xFE, 0xFF, 0xFF, 0xFF}));  // -2
  orl::Exception e = raisedBy([&] { stream_readInt32Array(in.get()); });
  EXPECT_EQ(e.code(), 4);
  EXPECT_EQ(messageHead(e), "Lesefehler in stream_readInt32Array: 0 Bytes von -8 Bytes gelesen");

  in = reader(bytes({0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(messageHead(raisedBy([&] { stream_readByteArray(in.get()); })),
            "Lesefehler in stream_readByteArray: 0 Bytes von -2 Bytes gelesen");

  // Only -1 means null for a string; other negative lengths are an invalid argument.
  in = reader(bytes({0xFE, 0xFF, 0xFF, 0xFF}));
  e = raisedBy([&] { stream_readString(in.get()); });
  EXPECT_EQ(e.code(), 1);
  EXPECT_EQ(messageHead(e), "pThis == NULL || pLength < 0 in stream_readString");

  in = reader(bytes({0xFF, 0xFF, 0xFF, 0x7F}));
  EXPECT_EQ(messageHead(raisedBy([&] { stream_readString(in.get()); })),
            "Lesefehler in stream_readString: 0 Bytes von 2147483647 Bytes gelesen");
}

TEST_F(OrlIO, OpenFailuresAndArgumentChecks) {
  std::string missing = dir.file("missing.kb");
  orl::Exception e = raisedBy([&] { stream_createFileInputStream(missing.c_str()); });
  EXPECT_EQ(e.code(), 6);
  EXPECT_EQ(messageHead(e), "Datei \"" + missing + "\" kann nicht zum Lesen ge\xF6" "ffnet werden");
  // A directory is not a file to read from.
  EXPECT_EQ(raisedBy([&] { stream_createFileInputStream(dir.path().c_str()); }).code(), 6);
  std::string noDir = dir.file("no/such/dir.kb");
  EXPECT_EQ(messageHead(raisedBy([&] { stream_createFileOutputStream(noDir.c_str()); })),
            "Datei \"" + noDir + "\" kann nicht zum Schreiben ge\xF6" "ffnet werden");
  EXPECT_EQ(messageHead(raisedBy([] { stream_createFileInputStream(nullptr); })),
            "pFileName == NULL in stream_createFileInputStream()");
  EXPECT_EQ(messageHead(raisedBy([] { stream_readString(nullptr); })), "pThis == NULL in stream_readstring");
  EXPECT_EQ(messageHead(raisedBy([] { stream_writeChars(nullptr, "x"); })),
            "pThis == NULL || pString == NULL in stream_writeString");
  orl::StreamPtr out(stream_createFileOutputStream(file.c_str()));
  e = raisedBy([&] { stream_writeInt32Array(out.get(), 2, nullptr); });
  EXPECT_EQ(e.code(), 5);
  EXPECT_EQ(messageHead(e), "Ung\xFCltiges Feld in stream_writeInt32Array");
  e = raisedBy([&] { stream_writeByteArray(out.get(), -3, nullptr); });
  EXPECT_EQ(e.code(), 3);
  EXPECT_EQ(messageHead(e), "Schreibfehler in stream_writeByteArray: 0 Bytes von -3 Bytes geschrieben");
  stream_close(nullptr);
}

TEST_F(OrlIO, InjectedShortWritesReportTheBytesWritten) {
  orl::StreamPtr out(stream_createFileOutputStream(file.c_str()));
  stream_setWriteFailureAfter(6);
  stream_writeInt32(out.get(), 3);
  orl::Exception e = raisedBy([&] { stream_writeChars(out.get(), "abcd"); });
  stream_setWriteFailureAfter(-1);
  EXPECT_EQ(e.code(), 3);
  EXPECT_EQ(messageHead(e), "Schreibfehler in stream_writeString: 2 Bytes von 4 Bytes geschrieben");
}

TEST_F(OrlIO, AtomicOutputReplacesTheTargetOnlyOnCommit) {
  writeFileBytes(file, "old contents");
  {
    orl::StreamPtr out(stream_createAtomicFileOutputStream(file.c_str()));
    stream_writeChars(out.get(), "half");
    // Dropped without commit: the previous file stays, no temporary is left behind.
  }
  EXPECT_EQ(readFileBytes(file), "old contents");
  {
    orl::StreamPtr out(stream_createAtomicFileOutputStream(file.c_str()));
    stream_setWriteFailureAfter(2);
    EXPECT_EQ(raisedBy([&] { stream_writeChars(out.get(), "new contents"); }).code(), 3);
    stream_setWriteFailureAfter(-1);
  }
  EXPECT_EQ(readFileBytes(file), "old contents");
  {
    orl::StreamPtr out(stream_createAtomicFileOutputStream(file.c_str()));
    stream_writeChars(out.get(), "new contents");
    stream_commit(out.get());
  }
  EXPECT_EQ(readFileBytes(file), "new contents");
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 1);
}

// A save removes the temporary files of its target that writers which died left behind, and
// only those: not the one a live writer holds, nor files that merely look alike.
TEST_F(OrlIO, SavesRemoveStaleTemporaryFilesOfTheirTargetOnly) {
  writeFileBytes(file, "old");
  const std::string stale = file + ".veskor-tmp.aB3dE9";
  writeFileBytes(stale, "left by a killed save");
  const std::vector<std::string> alike = {file + ".veskor-tmp.aB3dE", file + ".veskor-tmp.aB3dE9x",
                                          dir.file("other.kb.veskor-tmp.aB3dE9"), file + ".tmpaB3dE9"};
  for (const std::string& name : alike) writeFileBytes(name, "someone else's");

  orl::StreamPtr live(stream_createAtomicFileOutputStream(file.c_str()));
  EXPECT_FALSE(std::filesystem::exists(stale));
  // Another save of the file, and a load's tidying, while the first is still writing.
  stream_removeStaleTemporaryFiles(file.c_str());
  {
    orl::StreamPtr other(stream_createAtomicFileOutputStream(file.c_str()));
    stream_writeChars(other.get(), "other");
    stream_commit(other.get());
  }
  EXPECT_EQ(readFileBytes(file), "other");
  stream_writeChars(live.get(), "live");
  stream_commit(live.get());
  EXPECT_EQ(readFileBytes(file), "live");

  for (const std::string& name : alike) EXPECT_TRUE(std::filesystem::exists(name)) << name;
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 5);
}

TEST_F(OrlIO, AtomicOutputKeepsPermissionsAndWritesThroughLinks) {
  writeFileBytes(file, "old");
  chmod(file.c_str(), 0600);
  std::string link = dir.file("link.kb");
  ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
  {
    orl::StreamPtr out(stream_createAtomicFileOutputStream(link.c_str()));
    stream_writeChars(out.get(), "new");
    stream_commit(out.get());
  }
  struct stat info;
  ASSERT_EQ(lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(readFileBytes(file), "new");
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
}

}  // namespace
