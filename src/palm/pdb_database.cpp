#include "palm/pdb_database.h"

#include <algorithm>
#include <ctime>
#include <set>

namespace pelorix::palm {

namespace {

std::uint16_t get16(std::span<const std::uint8_t> b, size_t at) {
  return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}
std::uint32_t get32(std::span<const std::uint8_t> b, size_t at) {
  return static_cast<std::uint32_t>(b[at]) << 24 | static_cast<std::uint32_t>(b[at + 1]) << 16 |
         static_cast<std::uint32_t>(b[at + 2]) << 8 | b[at + 3];
}
void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

}  // namespace

PdbDatabase PdbDatabase::parse(std::span<const std::uint8_t> bytes, const std::string& origin) {
  auto fail = [&](const std::string& what) -> void { throw PdbFormatError(origin + ": " + what); };
  if (bytes.size() < kHeaderSize)
    fail("truncated: " + std::to_string(bytes.size()) + " bytes, shorter than the 78-byte header");

  PdbDatabase db;
  std::copy_n(bytes.begin(), 32, db.header.name.begin());
  if (std::find(db.header.name.begin(), db.header.name.end(), 0) == db.header.name.end())
    fail("the database name is not terminated");
  db.header.attributes = get16(bytes, 32);
  db.header.version = get16(bytes, 34);
  db.header.creationDate = get32(bytes, 36);
  db.header.modificationDate = get32(bytes, 40);
  db.header.lastBackupDate = get32(bytes, 44);
  db.header.modificationNumber = get32(bytes, 48);
  std::uint32_t appInfoOffset = get32(bytes, 52);
  std::uint32_t sortInfoOffset = get32(bytes, 56);
  db.header.type = get32(bytes, 60);
  db.header.creator = get32(bytes, 64);
  db.header.uniqueIdSeed = get32(bytes, 68);
  std::uint32_t nextRecordList = get32(bytes, 72);
  std::uint16_t count = get16(bytes, 76);

  if (db.header.attributes & kResourceDatabase) fail("a resource database, not a record database");
  if (nextRecordList != 0) fail("chained record lists are not supported");
  size_t tableEnd = kHeaderSize + size_t{count} * 8;
  if (tableEnd > bytes.size())
    fail("truncated: the header announces " + std::to_string(count) + " records but the record list is cut off");

  // Every block lies after the record list and before the next block.
  std::vector<std::uint32_t> offsets;
  std::set<std::uint32_t> ids;
  db.records.resize(count);
  for (size_t i = 0; i < count; ++i) {
    size_t entry = kHeaderSize + i * 8;
    std::uint32_t offset = get32(bytes, entry);
    PdbRecord& r = db.records[i];
    r.attributes = bytes[entry + 4];
    r.uniqueId = static_cast<std::uint32_t>(bytes[entry + 5]) << 16 |
                 static_cast<std::uint32_t>(bytes[entry + 6]) << 8 | bytes[entry + 7];
    if (offset < tableEnd || offset > bytes.size())
      fail("record " + std::to_string(i) + " lies outside the file (offset " + std::to_string(offset) + ")");
    if (!offsets.empty() && offset < offsets.back())
      fail("record " + std::to_string(i) + " starts before the record ahead of it");
    // Id 0 is no id: tools that make databases leave it for Palm OS to fill.
    if (r.uniqueId != 0 && !ids.insert(r.uniqueId).second)
      fail("two records share the id " + std::to_string(r.uniqueId));
    offsets.push_back(offset);
  }
  size_t firstRecord = offsets.empty() ? bytes.size() : offsets.front();
  auto block = [&](std::uint32_t offset, std::uint32_t end, const char* what) {
    if (offset < tableEnd || offset > end || end > bytes.size())
      fail(std::string("the ") + what + " block lies outside its place in the file");
    return std::vector<std::uint8_t>(bytes.begin() + offset, bytes.begin() + end);
  };
  std::uint32_t blocksEnd = static_cast<std::uint32_t>(firstRecord);
  if (sortInfoOffset) {
    db.sortInfo = block(sortInfoOffset, blocksEnd, "SortInfo");
    blocksEnd = sortInfoOffset;
  }
  if (appInfoOffset) db.appInfo = block(appInfoOffset, blocksEnd, "AppInfo");
  for (size_t i = 0; i < count; ++i) {
    size_t end = i + 1 < count ? offsets[i + 1] : bytes.size();
    if (end - offsets[i] > kMaxRecordSize) fail("record " + std::to_string(i) + " is larger than 64 KB");
    db.records[i].data.assign(bytes.begin() + offsets[i], bytes.begin() + static_cast<std::ptrdiff_t>(end));
  }
  return db;
}

std::vector<std::uint8_t> PdbDatabase::serialize() const {
  // Numbers that do not fit their fields would give a file that no reader,
  // this one included, takes back.
  auto fail = [&](const std::string& what) { throw PdbFormatError(name() + ": cannot be written: " + what); };
  if (records.size() > kMaxRecords)
    fail(std::to_string(records.size()) + " records, but a database holds at most " + std::to_string(kMaxRecords));
  size_t tableEnd = kHeaderSize + records.size() * 8;
  size_t total = tableEnd + 2 + appInfo.size() + sortInfo.size();
  for (size_t i = 0; i < records.size(); ++i) {
    const PdbRecord& r = records[i];
    if (r.data.size() > kMaxRecordSize)
      fail("record " + std::to_string(i) + " has " + std::to_string(r.data.size()) + " bytes, more than " +
           std::to_string(kMaxRecordSize));
    if (r.uniqueId > kMaxUniqueId) fail("record " + std::to_string(i) + " has an id beyond 24 bits");
    total += r.data.size();
  }
  if (total > UINT32_MAX) fail("the file would be larger than 4 GB");
  std::vector<std::uint8_t> out;
  out.reserve(total);
  std::uint32_t appInfoOffset = appInfo.empty() ? 0 : static_cast<std::uint32_t>(tableEnd + 2);
  std::uint32_t sortInfoOffset = sortInfo.empty() ? 0 : static_cast<std::uint32_t>(tableEnd + 2 + appInfo.size());
  out.insert(out.end(), header.name.begin(), header.name.end());
  put16(out, header.attributes);
  put16(out, header.version);
  put32(out, header.creationDate);
  put32(out, header.modificationDate);
  put32(out, header.lastBackupDate);
  put32(out, header.modificationNumber);
  put32(out, appInfoOffset);
  put32(out, sortInfoOffset);
  put32(out, header.type);
  put32(out, header.creator);
  put32(out, header.uniqueIdSeed);
  put32(out, 0);
  put16(out, static_cast<std::uint16_t>(records.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(tableEnd + 2 + appInfo.size() + sortInfo.size());
  for (const PdbRecord& r : records) {
    put32(out, offset);
    out.push_back(r.attributes);
    out.push_back(static_cast<std::uint8_t>(r.uniqueId >> 16));
    out.push_back(static_cast<std::uint8_t>(r.uniqueId >> 8));
    out.push_back(static_cast<std::uint8_t>(r.uniqueId));
    offset += static_cast<std::uint32_t>(r.data.size());
  }
  out.push_back(0);
  out.push_back(0);
  out.insert(out.end(), appInfo.begin(), appInfo.end());
  out.insert(out.end(), sortInfo.begin(), sortInfo.end());
  for (const PdbRecord& r : records) out.insert(out.end(), r.data.begin(), r.data.end());
  return out;
}

std::string PdbDatabase::name() const {
  auto end = std::find(header.name.begin(), header.name.end(), 0);
  return std::string(header.name.begin(), end);
}

void PdbDatabase::setName(const std::string& palmName) {
  header.name.fill(0);
  std::copy_n(palmName.begin(), std::min<size_t>(palmName.size(), 31), header.name.begin());
}

std::uint32_t PdbDatabase::allocateUniqueId() {
  if (nextId_ == 0) {
    nextId_ = std::max<std::uint32_t>(header.uniqueIdSeed, 1);
    for (const PdbRecord& r : records) nextId_ = std::max(nextId_, r.uniqueId + 1);
  }
  if (nextId_ > kMaxUniqueId) throw PdbFormatError(name() + ": the database has used up its record ids");
  std::uint32_t id = nextId_++;
  header.uniqueIdSeed = nextId_;
  return id;
}

void PdbDatabase::reserveUniqueId(std::uint32_t id) {
  header.uniqueIdSeed = std::max(header.uniqueIdSeed, id + 1);
  if (nextId_ != 0) nextId_ = std::max(nextId_, id + 1);
}

PdbRecord* PdbDatabase::findById(std::uint32_t id) {
  for (PdbRecord& r : records)
    if (r.uniqueId == id) return &r;
  return nullptr;
}

std::uint32_t fourCC(const std::string& text) {
  std::uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v = v << 8 | (i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ');
  return v;
}

std::string fourCCText(std::uint32_t value) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(value >> (24 - 8 * i));
  return s;
}

std::uint32_t palmNow() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  // Seconds from 1904-01-01 to 1970-01-01, plus the local wall clock.
  std::int64_t localSeconds = static_cast<std::int64_t>(t) + local.tm_gmtoff;
  return static_cast<std::uint32_t>(localSeconds + 2082844800LL);
}

}  // namespace pelorix::palm
