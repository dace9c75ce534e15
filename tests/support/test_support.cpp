#include "test_support.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace pelorix::test {

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "pelorix-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

IsolatedConfig::IsolatedConfig() {
  if (const char* old = std::getenv("PELORIX_CONFIG_DIR")) {
    had_ = true;
    saved_ = old;
  }
  ::setenv("PELORIX_CONFIG_DIR", temp_.path().c_str(), 1);
}

IsolatedConfig::~IsolatedConfig() {
  if (had_)
    ::setenv("PELORIX_CONFIG_DIR", saved_.c_str(), 1);
  else
    ::unsetenv("PELORIX_CONFIG_DIR");
}

fs::path sampleHandheld() { return fs::path(PELORIX_SOURCE_DIR) / "samples" / "handheld"; }

fs::path copySampleHandheld(const TempDir& where, const std::string& name) {
  fs::path target = where / name;
  fs::create_directories(target);
  for (const auto& entry : fs::directory_iterator(sampleHandheld())) {
    fs::copy_file(entry.path(), target / entry.path().filename());
    fs::permissions(target / entry.path().filename(), fs::perms::owner_read | fs::perms::owner_write);
  }
  return target;
}

fs::path componentLibrary() { return fs::path(PELORIX_BIN_DIR) / "pelx.so"; }
fs::path hostConnectorLibrary() { return fs::path(PELORIX_BIN_DIR) / "mvhost.so"; }

std::vector<std::uint8_t> readBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void expectComError(const std::function<void()>& f, com::HRESULT number) {
  try {
    f();
    ADD_FAILURE() << "expected ComError " << com::hresultText(number) << ", nothing was raised";
  } catch (const com::ComError& e) {
    EXPECT_EQ(com::hresultText(e.number()), com::hresultText(number)) << e.what();
  }
}

}  // namespace pelorix::test

// Leaks inside system libraries that the dialogs load are not ours; the
// leak checker of sanitized builds asks for these.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
