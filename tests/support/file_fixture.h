#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <string_view>

namespace passerelle::testing {

// A folder of its own for one test, removed with everything in it when the
// test ends. The importer and the writer both promise things about what lies
// beside the files they touch, so every test needs a folder nobody else
// writes into.
class TempFolder {
 public:
  TempFolder() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string stem = "passerelle-test";
    if (test != nullptr) {
      stem.append("-").append(Tidy(test->test_suite_name()));
      stem.append("-").append(Tidy(test->name()));
    }
    std::random_device entropy;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (;;) {
      path_ = base / (stem + "-" + std::to_string(entropy()));
      if (std::filesystem::create_directory(path_))
        break;
    }
  }
  ~TempFolder() {
    std::error_code ignored;
    // A test may have locked the folder; it must still go.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

  std::filesystem::path write(std::string_view name, std::string_view bytes) const {
    const std::filesystem::path file = path_ / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    EXPECT_TRUE(out) << "could not write " << file;
    return file;
  }

  static std::string read(const std::filesystem::path& file);

  // The names of the entries directly inside the folder.
  std::set<std::string> listing() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

 private:
  // Parameterised test names hold "/", which cannot go into a folder name.
  static std::string Tidy(std::string_view text) {
    std::string tidy;
    for (const char c : text) {
      tidy += std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
    }
    return tidy;
  }

  std::filesystem::path path_;
};

inline std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  EXPECT_TRUE(in) << "could not read " << file;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string TempFolder::read(const std::filesystem::path& file) {
  return ReadBytes(file);
}

// Failure messages show control bytes and bytes above 0x7F as escapes: the
// texts are Windows-1252, not UTF-8, and would print as noise.
inline std::string Printable(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string shown = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      shown += c;
    } else {
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 0x0F];
    }
  }
  return shown + "\"";
}

}  // namespace passerelle::testing
