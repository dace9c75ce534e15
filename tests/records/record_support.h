#pragma once

#include <string>
#include <vector>

#include "records/palm_record.h"

namespace pelorix::records::test {

// Joins fields with VM, the dynamic array of one record.
inline std::string fields(const std::vector<std::string>& parts) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out += '\xFD';
    out += parts[i];
  }
  return out;
}

inline ByteArray bytesOf(std::initializer_list<int> values) {
  ByteArray out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

inline ByteArray bytesOf(const std::string& text) { return ByteArray(text.begin(), text.end()); }

template <class R>
com::Ref<R> fromPalm(const ByteArray& data, std::int32_t id = 7, std::int32_t category = 1,
                     std::int32_t attributes = 0) {
  auto r = com::make<R>();
  Variant v(id);
  r->CreateClass(v, category, attributes, Variant(data));
  return r;
}

template <class R>
com::Ref<R> fromHost(const std::string& array) {
  auto r = com::make<R>();
  r->ExtractDynamicArray(array);
  return r;
}

inline ByteArray palmData(IPalmRecord& r) { return r.CreatePalmData().bytes(); }

}  // namespace pelorix::records::test
