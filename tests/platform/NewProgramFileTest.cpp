// The new version of the program as saved in the user's folder: never over another file,
// executable only when it is a program, with its digest; and started detached.
#include <gtest/gtest.h>

#include <tuple>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/NewProgramFile.h"
#include "platform/Sha256.h"
#include "support/UpdateTestSupport.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes Of(const std::string& text) { return Bytes(text.begin(), text.end()); }

class NewProgramFile : public ::testing::Test {
 protected:
  std::string At(const std::string& name) const { return scratch_.File(name); }
  testing::ScratchDir scratch_;
  const std::string folder_ = scratch_.Path();
};

TEST(Sha256, KnownDigests) {
  EXPECT_EQ(Sha256Hex(Of("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

// The server names the file; what is in the user's folder under that name stays as it was.
TEST_F(NewProgramFile, NeverReplacesNorFollowsWhatIsThere) {
  // Taken names: files, or links when they start with "@".
  const std::tuple<const char*, std::vector<std::string>, const char*> rows[] = {
      {"velmar", {}, "velmar"},
      {"velmar.AppImage", {"velmar.AppImage"}, "velmar-1.AppImage"},
      {"report.pdf", {"report.pdf", "report-1.pdf"}, "report-2.pdf"},
      {"setup.tar.gz", {"setup.tar.gz"}, "setup.tar-1.gz"},
      {".hidden", {".hidden"}, ".hidden-1"},
      {"tool.bin", {"@tool.bin", "@tool-1.bin"}, "tool-2.bin"},  // a dangling link, a live one
  };
  for (const auto& [name, present, saved_as] : rows) {
    SCOPED_TRACE(name);
    fs::remove_all(folder_);
    fs::create_directory(folder_);
    std::ofstream(At("victim")) << "keep";
    for (const std::string& taken : present) {
      if (taken[0] == '@') {
        fs::create_symlink(taken == "@tool.bin" ? At("gone") : At("victim"), At(taken.substr(1)));
      } else {
        std::ofstream(At(taken)) << "the user's own " << taken;
      }
    }
    std::string error;
    const auto saved = SaveNewProgramFile(folder_, name, Of("new bytes"), &error);
    ASSERT_TRUE(saved) << error;
    EXPECT_EQ(saved->path, At(saved_as));
    EXPECT_EQ(testing::ReadFileText(saved->path), "new bytes");
    EXPECT_FALSE(fs::is_symlink(saved->path));
    for (const std::string& taken : present) {
      if (taken[0] != '@') {
        EXPECT_EQ(testing::ReadFileText(At(taken)), "the user's own " + taken);
      }
    }
    EXPECT_EQ(testing::ReadFileText(At("victim")), "keep");
    EXPECT_FALSE(fs::exists(At("gone")));
  }
}

TEST_F(NewProgramFile, OnlyAProgramGetsItsOwnersExecuteBit) {
  const std::tuple<std::string, bool> rows[] = {
      {std::string("\x7F" "ELF\x02\x01\x01", 7), true},
      {"#!/bin/sh\necho new\n", true},
      {"#! /usr/bin/env python3\n", true},
      {"%PDF-1.7", false},
      {"PK\x03\x04", false},
      {"#", false},
      {"\x7F" "EL", false},
      {"text that says #!/bin/sh later", false},
  };
  const mode_t mask = umask(022);
  for (const auto& [bytes, executable] : rows) {
    SCOPED_TRACE(bytes);
    const auto saved = SaveNewProgramFile(folder_, "new", Of(bytes));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->executable, executable);
    EXPECT_EQ(saved->sha256, Sha256Hex(Of(bytes)));
    struct stat info {};
    ASSERT_EQ(stat(saved->path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, executable ? 0744u : 0644u);
    fs::remove(saved->path);
  }
  umask(mask);
}

TEST_F(NewProgramFile, AFailureLeavesNothingAndSaysWhy) {
  std::string error;
  EXPECT_FALSE(SaveNewProgramFile(At("missing"), "new", Of("x"), &error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
  for (const char* name : {"", ".", "..", "a/b"}) {
    EXPECT_FALSE(SaveNewProgramFile(folder_, name, Of("x"), &error)) << name;
    EXPECT_NE(error.find("not usable"), std::string::npos) << error;
  }
  EXPECT_TRUE(fs::is_empty(folder_));
}

TEST_F(NewProgramFile, OnlyAProgramStarts) {
  const auto script = SaveNewProgramFile(folder_, "new.sh", Of("#!/bin/sh\nexit 0\n"));
  const auto data = SaveNewProgramFile(folder_, "new.txt", Of("just text"));
  ASSERT_TRUE(script && data);
  std::string error;
  EXPECT_TRUE(StartProgram(script->path, &error)) << error;
  EXPECT_FALSE(StartProgram(data->path, &error));
  EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
  EXPECT_FALSE(StartProgram(At("absent"), &error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

}  // namespace
}  // namespace velmar
