#include "host/cdt_categories.h"

#include "base/marks.h"
#include "desktop/desktop_log.h"
#include "host/palm_info.h"

namespace pelorix::host {

namespace {

size_t codePoints(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

std::string trimBlanks(const std::string& s) {
  size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::string fitCategoryName(const std::string& name) {
  std::string out;
  size_t taken = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if ((c & 0xC0) != 0x80 && taken++ == 15) break;
    out += name[i];
  }
  return out + std::string(15 - std::min<size_t>(15, codePoints(out)), ' ');
}

CategoryEntry& CDtCategories::slot(std::int32_t index) {
  if (index < 0 || index > 15)
    com::raise(com::err::kSubscriptOutOfRange, "CDtCategories", "Subscript out of range: " + std::to_string(index));
  return slots_[static_cast<size_t>(index)];
}

void CDtCategories::ResetDirtyFlags() {
  for (CategoryEntry& e : slots_) e.Dirty = false;
}

std::string CDtCategories::Name(std::int32_t index) { return slot(index).Name; }
void CDtCategories::Name(std::int32_t index, const std::string& name) { slot(index).Name = fitCategoryName(name); }
std::int32_t CDtCategories::Id(std::int32_t index) { return slot(index).Id; }
void CDtCategories::Id(std::int32_t index, std::int32_t id) {
  CategoryEntry& e = slot(index);
  if (id < 0 || id > 255)
    com::raise(com::err::kOverflow, "CDtCategories", "Overflow: category id " + std::to_string(id));
  e.Id = static_cast<std::uint8_t>(id);
}
bool CDtCategories::Dirty(std::int32_t index) { return slot(index).Dirty; }
void CDtCategories::Dirty(std::int32_t index, bool dirty) { slot(index).Dirty = dirty; }

std::string CDtCategories::call(std::int16_t code, const std::string& from) {
  if (!ConnectionObject)
    com::raise(com::hr(0x800A005B), "CDtCategories", "Object variable or With block variable not set");
  std::string to;
  ConnectionObject->CallHost(ProgName, buildPalmInfo(code, hotSyncInfo_, PalmDatabaseName, ModDate, CreateDate), from,
                             to);
  return to;
}

void CDtCategories::Create(const std::string& pName) {
  if (created_) return;
  created_ = true;
  path_ = pName;
  // Until the host's list is read whole, releasing it would hand the host
  // names it never had.
  report_ = false;
  std::string answer = call(6, "");
  size_t start = 0;
  for (int i = 1; i <= 15; ++i) {
    size_t end = answer.find(kAttributeMark, start);
    std::string entry = start > answer.size()
                            ? std::string()
                            : answer.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end == std::string::npos ? answer.size() + 1 : end + 1;
    size_t vm = entry.find(kValueMark);
    if (vm == std::string::npos)
      com::raise(com::err::kInvalidArgument, "CDtCategories",
                 "Category entry " + std::to_string(i) + " from " + ProgName + " has no value mark");
    std::string flag = trimBlanks(entry.substr(vm + 1));
    CategoryEntry& e = slots_[static_cast<size_t>(i)];
    e.Name = fitCategoryName(trimBlanks(entry.substr(0, vm)));
    e.Id = static_cast<std::uint8_t>(i);
    e.Dirty = !(flag == "False" || flag == "0");
  }
  report_ = true;
}

std::string CDtCategories::wireList() const {
  std::string list;
  for (size_t i = 1; i <= 15; ++i) {
    if (i > 1) list += kAttributeMark;
    list += slots_[i].Name + kValueMark + (slots_[i].Dirty ? "1" : "0");
  }
  return list;
}

void CDtCategories::Report() {
  if (!report_) return;
  report_ = false;
  call(7, wireList());
}

void CDtCategories::Terminate() {
  if (!report_) {
    hotSyncInfo_.reset();
    return;
  }
  try {
    call(7, wireList());
  } catch (const std::exception& e) {
    // Nothing can receive the error; the desktop's log still tells.
    desktop::desktopLog("the categories of " + PalmDatabaseName + " did not reach the host: " + e.what());
  }
  hotSyncInfo_.reset();
}

}  // namespace pelorix::host
