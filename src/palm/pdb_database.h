#pragma once
// One Palm record database in the public Palm File Format (.pdb): a 78-byte
// header, 8-byte record entries, two bytes of padding, the AppInfo and
// SortInfo blocks, then the records. Numbers are big-endian; dates count
// seconds since 1 January 1904.

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "palm/record_attributes.h"

namespace pelorix::palm {

// The file is not a record database we can read; the message names the file
// and what is wrong.
class PdbFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr std::uint32_t kMaxUniqueId = 0xFFFFFF;
inline constexpr size_t kMaxRecordSize = 65535;
inline constexpr size_t kMaxRecords = 65535;

struct PdbRecord {
  std::uint8_t attributes = 0;  // the file's byte: flags and category or archive bit
  std::uint32_t uniqueId = 0;   // 24 bits
  std::vector<std::uint8_t> data;
};

struct PdbHeader {
  std::array<std::uint8_t, 32> name{};
  std::uint16_t attributes = 0;
  std::uint16_t version = 0;
  std::uint32_t creationDate = 0;
  std::uint32_t modificationDate = 0;
  std::uint32_t lastBackupDate = 0;
  std::uint32_t modificationNumber = 0;
  std::uint32_t type = 0;
  std::uint32_t creator = 0;
  std::uint32_t uniqueIdSeed = 0;
};

class PdbDatabase {
 public:
  static constexpr size_t kHeaderSize = 78;
  static constexpr std::uint16_t kResourceDatabase = 0x0001;

  PdbHeader header;
  std::vector<std::uint8_t> appInfo;
  std::vector<std::uint8_t> sortInfo;
  std::vector<PdbRecord> records;

  // `origin` names the file in error messages.
  static PdbDatabase parse(std::span<const std::uint8_t> bytes, const std::string& origin);
  std::vector<std::uint8_t> serialize() const;

  // The database name as the handheld stores it (Palm OS Latin).
  std::string name() const;
  void setName(const std::string& palmName);

  // A 24-bit id never given out before in this database.
  std::uint32_t allocateUniqueId();
  // Keeps the seed beyond an id that was written by its caller's choice.
  void reserveUniqueId(std::uint32_t id);

  PdbRecord* findById(std::uint32_t id);

 private:
  std::uint32_t nextId_ = 0;  // worked out on first use: above the seed and every id
};

// Four characters, most significant first: 'memo', 'DATA'.
std::uint32_t fourCC(const std::string& text);
std::string fourCCText(std::uint32_t value);

// Seconds since 1904-01-01 in local time, the handheld's clock.
std::uint32_t palmNow();

}  // namespace pelorix::palm
