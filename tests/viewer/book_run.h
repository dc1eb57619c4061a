#pragma once
// A book run on the fake desktop with real files: the book is dir_/book,
// the temporary directory dir_/tmp, where the run makes its book folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/support.h"
#include "fake_platform.h"
#include "platform/text.h"

namespace pagimor::test {

class BookRunTest : public ::testing::Test {
 protected:
  BookRunTest() {
    std::filesystem::create_directory(dir_ / "tmp");
    app_.tempPath = TempPathOf(dir_ / "tmp");
    app_.exePath = Widen((dir_ / "book").string());
  }

  // The book folders in the temporary directory.
  [[nodiscard]] std::vector<std::filesystem::path> Folders() const {
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir_ / "tmp")) found.push_back(entry.path());
    return found;
  }

  // The messages shown, plain boxes and the program's own dialog alike.
  [[nodiscard]] std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    for (const std::string& line : app_.log) {
      if (line.starts_with("plain: ") || line.starts_with("lang: ")) messages.push_back(line);
    }
    return messages;
  }

  ScratchDir dir_;
  FakeApplication app_;
  FakeForms forms_{app_};
};

}  // namespace pagimor::test
