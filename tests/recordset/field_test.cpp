// The field kinds' accessors and conversions.
#include "testkit/people_dataset.h"

#include "rtl/datetime.h"

namespace kavo::test {
namespace {

// A record set with one column of each kind the service uses, open on one
// new record being inserted.
class FieldTest : public PinnedLocale {
 protected:
  void SetUp() override {
    PinnedLocale::SetUp();
    ds.SetName(u"T");
    ds.Columns().Add(u"S", ftString, 255);
    ds.Columns().Add(u"W", ftWideString, 5);
    ds.Columns().Add(u"F", ftFloat);
    ds.Columns().Add(u"DT", ftDateTime);
    ds.Columns().Add(u"D", ftDate);
    ds.Columns().Add(u"TM", ftTime);
    ds.Columns().Add(u"L", ftLargeint);
    ds.Columns().Add(u"I", ftInteger);
    ds.Columns().Add(u"SI", ftSmallint);
    s = new TStringField(&owner);
    w = new TWideStringField(&owner);
    f = new TFloatField(&owner);
    dt = new TDateTimeField(&owner);
    d = new TDateField(&owner);
    tm = new TTimeField(&owner);
    l = new TLargeintField(&owner);
    i = new TIntegerField(&owner);
    si = new TSmallintField(&owner);
    const Char* names[] = {u"S", u"W", u"F", u"DT", u"D", u"TM", u"L", u"I", u"SI"};
    TField* fields[] = {s, w, f, dt, d, tm, l, i, si};
    for (int n = 0; n < 9; ++n) {
      fields[n]->SetFieldName(names[n]);
      fields[n]->SetDataSet(&ds);
    }
    s->SetSize(255);
    w->SetSize(5);
    ds.Open();
    ds.Insert();
  }

  MemoryDataSet ds{nullptr};
  TComponent owner{nullptr};
  TStringField* s;
  TWideStringField* w;
  TFloatField* f;
  TDateTimeField* dt;
  TDateField* d;
  TTimeField* tm;
  TLargeintField* l;
  TIntegerField* i;
  TSmallintField* si;
};

TEST_F(FieldTest, NewKindsHaveTheirDefaults) {
  TStringField fresh(nullptr);
  EXPECT_EQ(fresh.Size(), 20);
  EXPECT_TRUE(fresh.Transliterate());
  TFloatField number(nullptr);
  EXPECT_EQ(number.Precision(), 15);
  EXPECT_EQ(number.Size(), 0);
  EXPECT_EQ(s->GetDataSize(), 256);
  EXPECT_EQ(w->GetDataSize(), 12);
  EXPECT_EQ(d->GetDataSize(), 4);
  EXPECT_EQ(tm->GetDataSize(), 4);
  EXPECT_EQ(dt->GetDataSize(), 8);
  EXPECT_EQ(s->ProviderFlags(), unsigned(pfInUpdate | pfInWhere));
  EXPECT_TRUE(s->Visible());
}

TEST_F(FieldTest, LongTextIsCutToSizeBytes) {
  s->SetAsString(String(300, u'x'));
  EXPECT_EQ(s->AsString(), String(255, u'x'));
  EXPECT_EQ(ds.ActiveBufferValue(0)->size(), 255u);
  s->SetAsAnsiString(std::string(256, 'y'));
  EXPECT_EQ(s->AsAnsiString(), std::string(255, 'y'));
}

TEST_F(FieldTest, TextHandedOverInNativeFormFillsTheWholeDataSize) {
  // A record set may copy the field's whole data size from the buffer it is
  // given, and validation reads the pending value that way.
  String seen;
  s->OnValidate = [&](TField& field) { seen = field.AsString(); };
  String text(40, u'v');
  s->SetAsString(text);
  EXPECT_EQ(seen, text);
  EXPECT_EQ(s->AsString(), text);
}

TEST_F(FieldTest, StringGoesThroughTheAnsiCodePage) {
  s->SetAsString(u"a\u00e7\u00e3o \u20ac \u4e2d");
  EXPECT_EQ(s->AsAnsiString(), "a\xe7\xe3o \x80 ?");  // CP1252; unmappable becomes '?'
  EXPECT_EQ(s->AsString(), u"a\u00e7\u00e3o \u20ac ?");
  EXPECT_EQ(s->AsWideString(), s->AsString());
}

TEST_F(FieldTest, MultiByteCharacterIsNotSplitAtTheLimit) {
  SetAnsiCodePage("UTF-8");
  s->SetAsString(String(254, u'a') + u"\u00e7");  // the last character needs 2 bytes
  EXPECT_EQ(s->AsString(), String(254, u'a'));
}

TEST_F(FieldTest, NullReadsAsZeroOrEmpty) {
  for (TField* field : std::initializer_list<TField*>{s, w, f, dt, d, tm, l, i, si}) {
    EXPECT_TRUE(field->IsNull());
    EXPECT_EQ(field->AsString(), u"");
  }
  EXPECT_EQ(f->AsFloat(), 0);
  EXPECT_EQ(dt->AsDateTime(), 0);
  EXPECT_EQ(d->AsDateTime(), 0);
  EXPECT_EQ(l->AsLargeInt(), 0);
}

TEST_F(FieldTest, EmptyTextIsStoredAsNull) {
  s->SetAsString(u"abc");
  s->SetAsString(u"");
  EXPECT_TRUE(s->IsNull());
  w->SetAsString(u"");
  EXPECT_TRUE(w->IsNull());
}

TEST_F(FieldTest, NullDateTimeCopiedIntoDateGivesTheBaseDate) {
  d->SetAsDateTime(dt->AsDateTime());
  EXPECT_FALSE(d->IsNull());
  EXPECT_EQ(NativeAs<int32_t>(ds.ActiveBufferValue(4)), kDateDelta);
  EXPECT_EQ(d->AsString(), u"30/12/1899");
}

TEST_F(FieldTest, DateAndTimeKeepTheirPartOnly) {
  TDateTime when = EncodeDate(2026, 12, 8) + EncodeTime(14, 5, 9, 123);
  dt->SetAsDateTime(when);
  d->SetAsDateTime(when);
  tm->SetAsDateTime(when);
  EXPECT_EQ(NativeAs<double>(ds.ActiveBufferValue(3)),
            double(DateTimeToTimeStamp(when).Date) * 86400000 + (14 * 3600 + 5 * 60 + 9) * 1000 + 123);
  EXPECT_EQ(d->AsDateTime(), EncodeDate(2026, 12, 8));
  EXPECT_NEAR(tm->AsDateTime(), EncodeTime(14, 5, 9, 123), 1e-12);
  EXPECT_NEAR(dt->AsDateTime(), when, 1e-9);
  EXPECT_EQ(NativeAs<int32_t>(ds.ActiveBufferValue(5)), (14 * 3600 + 5 * 60 + 9) * 1000 + 123);
  EXPECT_EQ(dt->AsString(), u"08/12/2026 14:05:09");
  EXPECT_EQ(tm->AsString(), u"14:05:09");
  dt->SetAsDateTime(EncodeDate(2026, 12, 8));
  EXPECT_EQ(dt->AsString(), u"08/12/2026");  // midnight: the date alone
}

TEST_F(FieldTest, TimeFieldReadsTimeText) {
  tm->SetAsString(u"2:05 PM");
  EXPECT_EQ(NativeAs<int32_t>(ds.ActiveBufferValue(5)), (14 * 3600 + 5 * 60) * 1000);
  EXPECT_THROW(tm->SetAsString(u"25:00"), EConvertError);
}

TEST_F(FieldTest, DateKindsReadTextUnderTheLocaleAndKeepTheirValueOnBadText) {
  d->SetAsString(u" 01/02/2000 ");
  EXPECT_EQ(d->AsDateTime(), EncodeDate(2000, 2, 1));
  dt->SetText(u"08/12/26 14:05");
  EXPECT_NEAR(dt->AsDateTime(), EncodeDate(2026, 12, 8) + EncodeTime(14, 5, 0, 0), 1e-9);
  EXPECT_RAISES(d->SetAsString(u"31/02/2000"), EConvertError, "'31/02/2000' is not a valid date");
  EXPECT_RAISES(d->SetAsString(u"01/02/2000 10:00"), EConvertError,
                "'01/02/2000 10:00' is not a valid date");
  EXPECT_RAISES(dt->SetAsString(u"2026-12-08"), EConvertError,
                "'2026-12-08' is not a valid date and time");
  EXPECT_EQ(d->AsDateTime(), EncodeDate(2000, 2, 1));
  EXPECT_EQ(dt->AsString(), u"08/12/2026 14:05:00");
  dt->SetAsString(u"");
  EXPECT_TRUE(dt->IsNull());
}

TEST_F(FieldTest, DisplayFormatShapesOnlyTheDisplayedText) {
  dt->SetAsDateTime(EncodeDate(2026, 12, 8) + EncodeTime(14, 5, 9, 0));
  dt->SetDisplayFormat(u"yyyy-mm-dd hh:nn");
  EXPECT_EQ(dt->DisplayText(), u"2026-12-08 14:05");
  EXPECT_EQ(dt->Text(), u"08/12/2026 14:05:09");
  EXPECT_EQ(dt->AsString(), u"08/12/2026 14:05:09");
  d->SetAsDateTime(EncodeDate(2026, 1, 2));
  EXPECT_EQ(d->DisplayText(), u"02/01/2026");  // no format: AsString
  d->SetDisplayFormat(u"dd/mm");
  EXPECT_EQ(d->DisplayText(), u"02/01");
  tm->SetDisplayFormat(u"hh:nn");
  EXPECT_EQ(tm->DisplayText(), u"");  // NULL shows nothing
  f->SetAsFloat(2.5);
  EXPECT_EQ(f->DisplayText(), u"2,5");
}

TEST_F(FieldTest, FloatTextHasFifteenDigitsAndTheLocaleSeparator) {
  f->SetAsFloat(2.5);
  EXPECT_EQ(f->AsString(), u"2,5");
  f->SetAsFloat(12345);
  EXPECT_EQ(f->AsString(), u"12345");
  f->SetAsFloat(0.1 + 0.2);
  EXPECT_EQ(f->AsString(), u"0,3");
  f->SetAsFloat(123456789012345.0);
  EXPECT_EQ(f->AsString(), u"123456789012345");
  f->SetAsFloat(-1.0 / 3);
  EXPECT_EQ(f->AsString(), u"-0,333333333333333");
  f->SetAsString(u"7,25");
  EXPECT_EQ(f->AsFloat(), 7.25);
  EXPECT_THROW(f->SetAsString(u"7.25"), EConvertError);
  f->SetAsString(u"");
  EXPECT_TRUE(f->IsNull());
}

TEST_F(FieldTest, LargeintClearsToNullAndReadsDecimal) {
  l->SetAsLargeInt(-9000000000LL);
  EXPECT_EQ(l->AsString(), u"-9000000000");
  EXPECT_RAISES(l->AsInteger(), EConvertError, "'-9000000000' is not a valid integer value");
  l->Clear();
  EXPECT_TRUE(l->IsNull());
  EXPECT_EQ(l->AsString(), u"");
  l->SetAsString(u"42");
  EXPECT_EQ(l->AsInteger(), 42);
}

TEST_F(FieldTest, IntegerKindsKeepTheirWidthAndRange) {
  si->SetAsInteger(-32768);
  EXPECT_EQ(ds.ActiveBufferValue(8)->size(), 2u);
  EXPECT_EQ(si->AsInteger(), -32768);
  EXPECT_RAISES(si->SetAsInteger(32768), EConvertError, "'32768' is not a valid integer value");
  EXPECT_EQ(si->AsString(), u"-32768");
  i->SetAsFloat(2.6);
  EXPECT_EQ(i->AsInteger(), 3);
  EXPECT_RAISES(i->SetAsLargeInt(1LL << 31), EConvertError,
                "'2147483648' is not a valid integer value");
  i->SetAsString(u"");
  EXPECT_TRUE(i->IsNull());
  EXPECT_EQ(i->AsString(), u"");
  EXPECT_EQ(i->AsFloat(), 0);
}

TEST_F(FieldTest, WideTextIsKeptAsUtf16UpToSize) {
  w->SetAsWideString(u"\u4e2d\u6587ab");
  EXPECT_EQ(w->AsWideString(), u"\u4e2d\u6587ab");
  w->SetAsString(u"abcdefgh");
  EXPECT_EQ(w->AsString(), u"abcde");
  w->SetAsAnsiString("\xe7");  // widened from CP1252
  EXPECT_EQ(w->AsString(), u"\u00e7");
}

TEST_F(FieldTest, UnsupportedAccessorsNameFieldAndType) {
  EXPECT_RAISES(s->AsDateTime(), EDatabaseError, "T: Cannot access field 'S' as type DateTime");
  EXPECT_RAISES(d->SetAsLargeInt(1), EDatabaseError, "T: Cannot access field 'D' as type Largeint");
  EXPECT_RAISES(l->AsBoolean(), EDatabaseError, "T: Cannot access field 'L' as type Boolean");
}

TEST_F(FieldTest, ClearOnCalculatedFieldDoesNothing) {
  ds.Cancel();
  ds.Close();
  auto* calc = new TStringField(&owner);
  calc->SetFieldName(u"CALC");
  calc->SetFieldKind(fkCalculated);
  calc->SetDataSet(&ds);
  auto* look = new TStringField(&owner);
  look->SetFieldName(u"LOOK");
  look->SetFieldKind(fkLookup);
  look->SetDataSet(&ds);
  ds.Open();
  ds.Insert();
  int writes = ds.writes;
  calc->Clear();
  EXPECT_EQ(ds.writes, writes);
  look->Clear();
  EXPECT_EQ(ds.writes, writes);
  EXPECT_FALSE(ds.Modified());
  s->Clear();  // a data field does reach the record set
  EXPECT_EQ(ds.writes, writes + 1);
  EXPECT_TRUE(ds.Modified());
}

}  // namespace
}  // namespace kavo::test
