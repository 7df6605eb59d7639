// The record buffer's slots and the record cache, without a server.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "ib/ib_fields.h"
#include "ib/ib_header.h"
#include "ib/ib_record_buffer.h"
#include "ib/ib_record_cache.h"
#include "recordset/date_time_fields.h"
#include "recordset/numeric_fields.h"
#include "recordset/string_fields.h"
#include "rtl/bcd.h"
#include "rtl/exceptions.h"

namespace kavo::test {
namespace {

// One record with a single slot of `size` bytes after the header and slot.
struct OneSlot {
  OneSlot(short sql_type, uint32_t size, short scale = 0) : bytes(256 + size, 0xAB) {
    slot().sql_type = sql_type;
    slot().scale = scale;
    slot().data_offset = 128;
    slot().data_size = size;
    slot().is_null = 1;
    slot().scaled_as_float = 0;
    slot().unscaled = 0;
  }
  TIBFieldSlot& slot() { return TIBRecordLayout::Slot(bytes.data(), 0); }
  uint8_t* data() { return bytes.data(); }
  // The bytes after the slot's data are untouched.
  bool GuardIntact() {
    const uint8_t* end = bytes.data() + 128 + slot().data_size;
    for (const uint8_t* p = end; p < bytes.data() + bytes.size(); ++p)
      if (*p != 0xAB) return false;
    return true;
  }
  std::vector<uint8_t> bytes;
};

TEST(RecordSlotTest, TextIsCutToTheSlotAtACharacterBoundary) {
  OneSlot s(SQL_VARYING, 6);  // three UTF-16 units
  const String astral = u"ab\U0001F600";  // a, b, then a surrogate pair
  StoreSlotText(s.data(), s.slot(), astral.data(), astral.size());
  EXPECT_EQ(SlotText(s.data(), s.slot()), u"ab");  // never half a pair
  EXPECT_EQ(s.slot().data_length, 4u);
  EXPECT_TRUE(s.GuardIntact());

  const String long_text = u"abcdefgh";
  StoreSlotText(s.data(), s.slot(), long_text.data(), long_text.size());
  EXPECT_EQ(SlotText(s.data(), s.slot()), u"abc");
  EXPECT_TRUE(s.GuardIntact());

  // A wide field bigger than the slot still gets only what the slot holds.
  TWideStringField field(nullptr);
  field.SetSize(20);
  std::vector<Char> native(21, u'x');
  const String in = u"0123456789";
  std::memcpy(native.data(), in.c_str(), (in.size() + 1) * sizeof(Char));
  NativeToSlot(s.data(), s.slot(), field, native.data());
  EXPECT_EQ(SlotText(s.data(), s.slot()), u"012");
  EXPECT_TRUE(s.GuardIntact());
}

TEST(RecordSlotTest, DatesAndTimesConvertBetweenTheStoredKinds) {
  const double day = 86400000.0;
  TDateField date_field(nullptr);
  TTimeField time_field(nullptr);
  TDateTimeField stamp_field(nullptr);
  OneSlot stamp(SQL_TIMESTAMP, 8);
  SetSlotMilliseconds(stamp.data(), stamp.slot(), 739000 * day + 36930250);  // 10:15:30.250
  int32_t d = 0, t = 0;
  SlotToNative(stamp.data(), stamp.slot(), date_field, &d);
  SlotToNative(stamp.data(), stamp.slot(), time_field, &t);
  EXPECT_EQ(d, 739000);
  EXPECT_EQ(t, 36930250);

  OneSlot time(SQL_TYPE_TIME, 4);
  NativeToSlot(time.data(), time.slot(), time_field, &t);
  double ms = 0;
  SlotToNative(time.data(), time.slot(), stamp_field, &ms);
  EXPECT_EQ(ms, 693594 * day + 36930250);  // a time alone stands on 1899-12-30

  OneSlot only_date(SQL_TYPE_DATE, 4);
  NativeToSlot(only_date.data(), only_date.slot(), stamp_field, &ms);
  SlotToNative(only_date.data(), only_date.slot(), date_field, &d);
  EXPECT_EQ(d, 693594);
  EXPECT_TRUE(only_date.GuardIntact());
}

TEST(RecordSlotTest, ATimeSlotTakesTheTimeOfDayOfAnyMilliseconds) {
  const double day = 86400000.0;
  OneSlot time(SQL_TYPE_TIME, 4);
  for (double ms : {0.0, -0.0, 36930250.0, 739000 * day + 36930250, -1.0, -3 * day,
                    -3 * day - 0.5, 1000.75, 693594 * day + 86399999.5}) {
    SCOPED_TRACE(ms);
    ASSERT_TRUE(SetSlotMilliseconds(time.data(), time.slot(), ms));
    double in_day = std::fmod(ms, day);
    if (in_day < 0) in_day += day;
    int32_t stored = 0;
    std::memcpy(&stored, time.data() + time.slot().data_offset, sizeof stored);
    EXPECT_EQ(stored, static_cast<int32_t>(in_day) * 10);  // ten-thousandths
    EXPECT_TRUE(time.GuardIntact());
  }
}

TEST(RecordSlotTest, ScaledNumbersKeepTheirDigits) {
  uint8_t packed[kPackedDecimalSize];
  PackDecimal(123456789012, 6, packed);
  EXPECT_EQ(PackedDecimalText(packed), u"123456.789012");
  PackDecimal(-123, 5, packed);
  EXPECT_EQ(PackedDecimalText(packed), u"-0.00123");
  PackDecimal(std::numeric_limits<int64_t>::min(), 0, packed);
  EXPECT_EQ(PackedDecimalText(packed), u"-9223372036854775808");
  // A slot beyond 64 bits is damaged: refused, never read as 0.
  const TBcd beyond = StrToBcd(u"123456789012345678901234567890");
  std::memcpy(packed, &beyond, sizeof beyond);
  EXPECT_THROW(PackedDecimalText(packed), Exception);

  OneSlot currency(SQL_INT64, 8, -2);
  TFloatField float_field(nullptr);
  double value = 12.34;
  NativeToSlot(currency.data(), currency.slot(), float_field, &value);
  EXPECT_EQ(SlotAsCurrency(currency.data(), currency.slot()), 123400);
  EXPECT_EQ(SlotDecimalText(currency.data(), currency.slot()), u"12.3400");
  TLargeintField int_field(nullptr);
  int64_t whole = 0;
  SlotToNative(currency.data(), currency.slot(), int_field, &whole);
  EXPECT_EQ(whole, 12);
}

TEST(RecordSlotTest, ANumberBeyondAKindIsRefusedNeverWrapped) {
  // Beyond the currency form a NUMERIC(18,2) keeps the server's own digits.
  OneSlot currency(SQL_INT64, 8, -2);
  ASSERT_TRUE(SetSlotInt64(currency.data(), currency.slot(), 1000000000000000));
  EXPECT_EQ(SlotDecimalText(currency.data(), currency.slot()), u"1000000000000000.00");
  TIBBCDField bcd(nullptr);
  TLargeintField large(nullptr);
  int64_t out = 0;
  EXPECT_FALSE(SlotToNative(currency.data(), currency.slot(), bcd, &out));
  EXPECT_TRUE(SlotToNative(currency.data(), currency.slot(), large, &out));
  EXPECT_EQ(out, 1000000000000000);
  ASSERT_TRUE(SetSlotCurrency(currency.data(), currency.slot(), 5));  // back in the form
  EXPECT_EQ(SlotDecimalText(currency.data(), currency.slot()), u"0.0005");

  struct Case {
    short type, scale;
    int64_t whole;
    double number;
  };
  for (const Case& c : {Case{SQL_LONG, 0, int64_t{1} << 40, 1e10},
                        Case{SQL_INT64, -6, INT64_MAX / 10, 1e30},
                        Case{SQL_INT64, -2, INT64_MAX, 1e17}}) {
    SCOPED_TRACE(c.type * 100 + c.scale);
    OneSlot slot(c.type, c.scale < -4 ? kPackedDecimalSize : (c.type == SQL_LONG ? 4 : 8),
                 c.scale);
    EXPECT_FALSE(SetSlotInt64(slot.data(), slot.slot(), c.whole));
    EXPECT_FALSE(SetSlotDouble(slot.data(), slot.slot(), c.number));
    EXPECT_TRUE(slot.slot().is_null);  // left as it was
    EXPECT_TRUE(slot.GuardIntact());
  }
  OneSlot wide(SQL_LONG, 4);
  ASSERT_TRUE(SetSlotInt64(wide.data(), wide.slot(), 70000));
  TSmallintField small(nullptr);
  int16_t small_out = 0;
  EXPECT_FALSE(SlotToNative(wide.data(), wide.slot(), small, &small_out));
}

TEST(RecordCacheTest, RecordsStayWhereTheyArePlacedWhileTheCacheGrows) {
  TIBRecordCache cache;
  cache.Reset(16, 1, false);
  ASSERT_TRUE(cache.Reserve(0));
  uint8_t* first = cache.At(0);
  std::memset(first, 7, 16);
  ASSERT_TRUE(cache.Reserve(9));
  EXPECT_EQ(cache.At(0), first);
  EXPECT_EQ(first[15], 7);
  EXPECT_GE(cache.Capacity(), 10);
  EXPECT_NE(cache.At(9), cache.At(8));

  TIBRecordCache ring;
  ring.Reset(16, 2, true);
  ASSERT_TRUE(ring.Reserve(100));
  EXPECT_EQ(ring.At(4), ring.At(0));
  EXPECT_NE(ring.At(5), ring.At(4));

  // A size that does not fit in size_t is refused, not wrapped.
  TIBRecordCache huge;
  huge.Reset(std::numeric_limits<size_t>::max() / 2, 4, false);
  EXPECT_FALSE(huge.Reserve(0));
  EXPECT_TRUE(huge.Empty());
}

}  // namespace
}  // namespace kavo::test
