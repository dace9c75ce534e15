// Random valid records of each class go handheld -> object -> host ->
// object -> handheld unchanged, and hostile buffers never escape bounds.

#include <gtest/gtest.h>

#include <random>

#include "record_support.h"
#include "records/caddress_book_rec.h"
#include "records/cdate_book.h"
#include "records/cmemo_pad.h"
#include "records/cto_do_list.h"

namespace pelorix::records {
namespace {

using namespace records::test;

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}
  int number(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
  // Handheld text: any byte but zero and CR; LF is the line break.
  void text(ByteArray& out, bool multiLine, int maxLength = 40) {
    int n = number(0, maxLength);
    for (int i = 0; i < n; ++i) {
      int c = number(1, 255);
      if (c == '\r' || (!multiLine && c == '\n')) c = 'x';
      out.push_back(static_cast<std::uint8_t>(c));
    }
    out.push_back(0);
  }
  void word(ByteArray& out, int value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
  }
  int palmDate() { return (number(0, 127) << 9) | (number(1, 12) << 5) | number(1, 28); }
  int palmTime() { return (number(0, 23) << 8) | number(0, 59); }

  ByteArray memo() {
    ByteArray out;
    text(out, true, 400);
    out.push_back(0);
    return out;
  }
  ByteArray toDo() {
    ByteArray out;
    word(out, number(0, 3) == 0 ? 0xFFFF : palmDate());
    out.push_back(static_cast<std::uint8_t>(number(0, 255)));
    text(out, true);
    text(out, true);
    out.push_back(0);
    return out;
  }
  ByteArray address() {
    ByteArray out;
    std::uint32_t options = static_cast<std::uint32_t>(number(0, 0xFFFFF)) | static_cast<std::uint32_t>(number(0, 4))
                                                                                 << 20;
    std::uint32_t present = static_cast<std::uint32_t>(number(0, (1 << 19) - 1));
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(options >> s));
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(present >> s));
    size_t offsetAt = out.size();
    out.push_back(0);
    std::vector<size_t> lengths(19, 0);
    for (int i = 0; i < 19; ++i) {
      if (!(present >> i & 1)) continue;
      size_t before = out.size();
      // a present text is never empty
      do {
        out.resize(before);
        text(out, i == 18);
      } while (out.size() == before + 1);
      lengths[i] = out.size() - before;
    }
    if (present >> 2 & 1) {
      size_t offset = 1 + lengths[0] + lengths[1];
      if (offset > 255) return address();
      out[offsetAt] = static_cast<std::uint8_t>(offset);
    }
    out.push_back(0);
    return out;
  }
  ByteArray dateBook() {
    ByteArray out;
    bool timed = number(0, 3) != 0;
    word(out, timed ? palmTime() : 0xFFFF);
    word(out, timed ? palmTime() : 0xFFFF);
    word(out, palmDate());
    bool alarm = number(0, 1), repeat = number(0, 1), note = number(0, 1), exceptions = number(0, 1);
    int flags = 0x04 | (alarm ? 0x40 : 0) | (repeat ? 0x20 : 0) | (note ? 0x10 : 0) | (exceptions ? 0x08 : 0);
    out.push_back(static_cast<std::uint8_t>(flags));
    out.push_back(0);
    if (alarm) {
      out.push_back(static_cast<std::uint8_t>(number(0, 255)));
      out.push_back(static_cast<std::uint8_t>(number(0, 255)));
    }
    if (repeat) {
      out.push_back(static_cast<std::uint8_t>(number(1, 255)));
      out.push_back(0);
      word(out, number(0, 1) ? 0xFFFF : palmDate());
      for (int i = 0; i < 3; ++i) out.push_back(static_cast<std::uint8_t>(number(0, 255)));
      out.push_back(0);
    }
    if (exceptions) {
      int n = number(1, 5);
      word(out, n);
      for (int i = 0; i < n; ++i) word(out, palmDate());
    }
    text(out, true);
    if (note) {
      size_t before = out.size();
      do {
        out.resize(before);
        text(out, true);
      } while (out.size() == before + 1);
    }
    out.push_back(0);
    return out;
  }

 private:
  std::mt19937 rng_;
};

template <class R>
void expectRoundTrip(const ByteArray& data, int id) {
  auto first = fromPalm<R>(data, id, id % 16, (id % 2) ? 0x40 : 0x10);
  std::string array = first->CreateDynamicArray();
  EXPECT_EQ(array.find('\xFE'), std::string::npos);
  auto second = fromHost<R>(array);
  EXPECT_EQ(palmData(*second), data) << "record " << id;
  EXPECT_EQ(second->CreateDynamicArray(), array) << "record " << id;
  EXPECT_EQ(second->eAttributes(), first->eAttributes());
}

TEST(RoundTrip, RandomRecordsOfEveryClassSurviveTheHost) {
  Generator g(20261206);
  for (int i = 1; i <= 500; ++i) {
    expectRoundTrip<CMemoPad>(g.memo(), i);
    expectRoundTrip<CToDoList>(g.toDo(), i);
    expectRoundTrip<CAddressBookRec>(g.address(), i);
    expectRoundTrip<CDateBook>(g.dateBook(), i);
    if (HasFailure()) break;
  }
}

TEST(HostileInput, TruncatedAndRandomBuffersNeverEscape) {
  Generator g(7);
  for (int i = 0; i < 300; ++i) {
    std::vector<ByteArray> samples = {g.memo(), g.toDo(), g.address(), g.dateBook()};
    for (ByteArray& data : samples) {
      data.resize(static_cast<size_t>(g.number(0, static_cast<int>(data.size()))));
      if (g.number(0, 1))
        for (auto& b : data)
          if (g.number(0, 9) == 0) b = static_cast<std::uint8_t>(g.number(0, 255));
      fromPalm<CMemoPad>(data);
      fromPalm<CAddressBookRec>(data);
      fromPalm<CDateBook>(data);
      try {
        fromPalm<CToDoList>(data);
      } catch (const com::ComError& e) {
        EXPECT_EQ(e.source(), "CToDoList:CreateClass");
      }
    }
  }
}

}  // namespace
}  // namespace pelorix::records
