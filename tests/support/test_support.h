#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "com/com_error.h"

namespace pelorix::test {

// A fresh folder, removed again at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Points the settings store and the desktop's log at a fresh folder.
class IsolatedConfig {
 public:
  IsolatedConfig();
  ~IsolatedConfig();
  std::filesystem::path dir() const { return temp_.path(); }

 private:
  TempDir temp_;
  std::string saved_;
  bool had_ = false;
};

std::filesystem::path sampleHandheld();
// A writable copy of the sample handheld's four empty databases.
std::filesystem::path copySampleHandheld(const TempDir& where, const std::string& name = "handheld");
std::filesystem::path componentLibrary();
// The embedded host's connector plug-in (trivex1/2/3.Host).
std::filesystem::path hostConnectorLibrary();

std::vector<std::uint8_t> readBytes(const std::filesystem::path& file);
void writeBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);

// Expects `f` to raise a ComError with this number.
void expectComError(const std::function<void()>& f, com::HRESULT number);

}  // namespace pelorix::test
