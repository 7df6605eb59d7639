// Blob and memo fields over their streams, variants and old values.

#include <algorithm>

#include "recordset/blob_fields.h"
#include "testkit/people_dataset.h"

namespace kavo::test {
namespace {

std::string Utf16Bytes(const std::u16string& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

// Clef (outside the BMP), Cyrillic, Japanese and a Latin accent.
const std::u16string kText = u"Ol\u00e1 \U0001D11E \u041f\u0440\u0438\u0432\u0435\u0442 \u65e5\u672c";

class BlobTest : public PinnedLocale {
 protected:
  void SetUp() override {
    PinnedLocale::SetUp();
    ds = new MemoryDataSet(&owner);
    ds->SetName(u"Docs");
    ds->Columns().Add(u"DOC", ftBlob);
    ds->Columns().Add(u"NOTE", ftMemo);
    ds->Columns().Add(u"WNOTE", ftWideMemo);
    ds->AddRow({std::string("\x00\xe9\xff", 3), Utf16Bytes(kText), Utf16Bytes(u"w")});
    ds->AddRow({std::string(), std::string(), std::nullopt});
    ds->AddRow({std::nullopt, std::nullopt, std::nullopt});
    ds->Open();
    doc = dynamic_cast<TBlobField*>(&ds->FieldByName(u"DOC"));
    note = dynamic_cast<TMemoField*>(&ds->FieldByName(u"NOTE"));
  }

  TComponent owner{nullptr};
  MemoryDataSet* ds = nullptr;
  TBlobField* doc = nullptr;
  TMemoField* note = nullptr;
};

TEST_F(BlobTest, DefaultFieldsReadBytesTextNullAndEmpty) {
  ASSERT_TRUE(doc && note);
  EXPECT_NE(dynamic_cast<TWideMemoField*>(&ds->FieldByName(u"WNOTE")), nullptr);

  EXPECT_EQ(doc->AsBytes(), (std::vector<uint8_t>{0, 0xe9, 0xff}));
  EXPECT_EQ(doc->BlobSize(), 3);
  EXPECT_EQ(doc->AsAnsiString(), std::string("\x00\xe9\xff", 3));
  EXPECT_EQ(doc->AsString(), String(u"\u0000\u00e9\u00ff", 3));
  EXPECT_EQ(doc->AsVariant().ByteArray(), doc->AsBytes());
  EXPECT_EQ(note->AsString(), kText);
  EXPECT_EQ(ds->FieldByName(u"WNOTE").AsString(), u"w");

  ds->Next();  // empty values are not NULL
  EXPECT_FALSE(doc->IsNull());
  EXPECT_FALSE(note->IsNull());
  EXPECT_TRUE(ds->FieldByName(u"WNOTE").IsNull());

  ds->Next();
  EXPECT_TRUE(doc->IsNull());
  EXPECT_EQ(note->AsString(), u"");
  EXPECT_TRUE(note->AsVariant().IsNull());
}

TEST_F(BlobTest, WritesNeedEditOrInsertAndMarkTheRecord) {
  EXPECT_RAISES(note->SetAsString(u"x"), EDatabaseError, "Docs: Dataset not in edit or insert mode");
  EXPECT_RAISES(ds->CreateBlobStream(doc, bmReadWrite), EDatabaseError,
                "Docs: Dataset not in edit or insert mode");
  auto reader = ds->CreateBlobStream(doc, bmRead);
  EXPECT_THROW(reader->WriteBuffer("x", 1), EWriteError);
  reader.reset();
  EXPECT_EQ(*ds->At(0, u"DOC"), std::string("\x00\xe9\xff", 3));

  int changes = 0;
  note->OnChange = [&](TField&) { ++changes; };
  ds->Edit();
  note->SetAsString(kText + u"!");
  EXPECT_TRUE(ds->Modified());
  EXPECT_EQ(changes, 1);
  {
    // Read-write keeps the value; the notice comes when the stream closes.
    auto s = ds->CreateBlobStream(doc, bmReadWrite);
    s->Seek(0, soFromEnd);
    s->WriteBuffer("\x01", 1);
  }
  doc->Clear();
  ds->FieldByName(u"WNOTE").SetAsString(u"");
  ds->Post();
  EXPECT_EQ(WideOf(ds->At(0, u"NOTE")), kText + u"!");
  EXPECT_FALSE(ds->At(0, u"DOC").has_value());  // Clear stores NULL
  EXPECT_EQ(ds->At(0, u"WNOTE"), std::string());  // an empty text stays empty

  ds->Edit();
  doc->SetAsString(u"\u00e9\u20ac");  // CP1252 bytes
  EXPECT_EQ(doc->AsAnsiString(), "\xe9\x80");
  note->SetAsAnsiString("\xe9");
  EXPECT_EQ(note->AsString(), u"\u00e9");
  ds->Cancel();
  EXPECT_TRUE(doc->IsNull());
}

TEST_F(BlobTest, PostFinishesOpenWriteStreamsAndAnEndedEditLetsThemGo) {
  ds->Edit();
  auto open = ds->CreateBlobStream(doc, bmWrite);
  open->WriteBuffer("ab", 2);
  ds->Post();
  EXPECT_EQ(*ds->At(0, u"DOC"), "ab");
  open->WriteBuffer("cd", 2);
  open.reset();  // finished at Post: nothing more goes anywhere
  ds->Edit();
  auto cancelled = ds->CreateBlobStream(doc, bmWrite);
  cancelled->WriteBuffer("x", 1);
  ds->Cancel();
  ds->Next();
  ds->Edit();
  cancelled.reset();  // must not land in the record now edited
  ds->Post();
  EXPECT_EQ(*ds->At(0, u"DOC"), "ab");
  EXPECT_EQ(*ds->At(1, u"DOC"), "");

  // A handler's error at Post reaches the caller; the edit stays.
  note->OnChange = [](TField&) { throw EDatabaseError(u"refused"); };
  ds->Edit();
  auto failing = ds->CreateBlobStream(note, bmWrite);
  failing->WriteBuffer("n\0", 2);
  EXPECT_RAISES(ds->Post(), EDatabaseError, "refused");
  EXPECT_EQ(ds->State(), dsEdit);
  note->OnChange = nullptr;
  auto late = ds->CreateBlobStream(doc, bmWrite);
  late->WriteBuffer("y", 1);
  ds->Close();
  late.reset();  // the record set's buffers are gone
}

TEST_F(BlobTest, TenMegabytesLoadAndSaveInLinearTime) {
  std::vector<uint8_t> big(10 * 1024 * 1024);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i % 251);
  TMemoryStream source;
  // Small appends: growth must not copy the whole contents each time.
  for (size_t i = 0; i < big.size(); i += 4096) source.WriteBuffer(&big[i], 4096);
  ds->Edit();
  doc->LoadFromStream(source);  // the whole source, whatever its position
  ds->Post();
  TMemoryStream saved;
  saved.WriteBuffer("head", 4);
  doc->SaveToStream(saved);
  ASSERT_EQ(saved.Size(), static_cast<int64_t>(big.size()) + 4);
  EXPECT_TRUE(std::equal(big.begin(), big.end(), saved.Bytes().begin() + 4));
}

class VariantTest : public PeopleTest {};

TEST_F(VariantTest, VariantsByKindAndTheValueBeforeTheEdit) {
  ds->Open();
  EXPECT_EQ(name->AsVariant().AsString(), u"ann");
  EXPECT_DOUBLE_EQ(score->AsVariant().AsDouble(), 1.5);
  ds->Edit();
  score->SetAsVariant(OraVariant(int32_t{4}));
  name->SetAsVariant(OraVariant::Ansi("\xe9"));
  EXPECT_EQ(Name(), u"\u00e9");
  EXPECT_EQ(name->OldValue().AsString(), u"ann");
  EXPECT_DOUBLE_EQ(score->OldValue().AsDouble(), 1.5);
  // Reading the old value leaves the edit as it was.
  EXPECT_EQ(ds->State(), dsEdit);
  EXPECT_TRUE(ds->Modified());
  EXPECT_DOUBLE_EQ(score->AsFloat(), 4);
  score->SetAsVariant(OraVariant::Null());
  EXPECT_TRUE(score->IsNull());
  ds->Post();
  EXPECT_EQ(name->OldValue().AsString(), u"\u00e9");
  EXPECT_TRUE(score->OldValue().IsNull());
}

}  // namespace
}  // namespace kavo::test
