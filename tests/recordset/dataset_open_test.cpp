// Opening, closing, binding and the closed-state rules.
#include <vector>

#include "recordset/field_defs.h"
#include "testkit/people_dataset.h"

namespace kavo::test {
namespace {

using OpenTest = PeopleTest;

TEST_F(OpenTest, NeverOpenedRecordSetIsAtBothEndsAndRefusesWork) {
  EXPECT_EQ(ds->State(), dsInactive);
  EXPECT_FALSE(ds->Active());
  EXPECT_TRUE(ds->Bof());
  EXPECT_TRUE(ds->Eof());
  EXPECT_RAISES(ds->RecordCount(), EDatabaseError,
                "People: Cannot perform this operation on a closed dataset");
  EXPECT_RAISES(ds->Next(), EDatabaseError,
                "People: Cannot perform this operation on a closed dataset");
  EXPECT_RAISES(ds->First(), EDatabaseError,
                "People: Cannot perform this operation on a closed dataset");
  // Edit on a record set without records turns into Insert, which checks.
  EXPECT_RAISES(ds->Edit(), EDatabaseError,
                "People: Cannot perform this operation on a closed dataset");
  EXPECT_RAISES(ds->Insert(), EDatabaseError,
                "People: Cannot perform this operation on a closed dataset");
  EXPECT_RAISES(ds->Post(), EDatabaseError, "People: Dataset not in edit or insert mode");
  ds->Cancel();  // nothing to cancel, no error
  EXPECT_TRUE(name->IsNull());
  EXPECT_EQ(name->AsString(), u"");
  EXPECT_EQ(name->FieldNo(), 0);
}

TEST_F(OpenTest, WithoutNameTheTextStandsAlone) {
  MemoryDataSet anonymous(nullptr);
  EXPECT_RAISES(anonymous.Next(), EDatabaseError,
                "Cannot perform this operation on a closed dataset");
}

TEST_F(OpenTest, OpenShowsFirstRecordAndCloseReturnsToInactive) {
  ds->Open();
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_TRUE(ds->Bof());
  EXPECT_FALSE(ds->Eof());
  EXPECT_EQ(ds->RecordCount(), 3);
  EXPECT_EQ(Name(), u"ann");
  EXPECT_EQ(name->FieldNo(), 1);
  EXPECT_EQ(score->FieldNo(), 2);
  ds->Close();
  EXPECT_EQ(ds->State(), dsInactive);
  EXPECT_TRUE(ds->Bof() && ds->Eof());
  EXPECT_EQ(name->FieldNo(), 0);
  EXPECT_TRUE(name->IsNull());
}

TEST_F(OpenTest, EmptyResultOpensAtBothEnds) {
  ds->Rows().clear();
  ds->RowIds().clear();
  ds->Open();
  EXPECT_TRUE(ds->Bof());
  EXPECT_TRUE(ds->Eof());
  EXPECT_EQ(ds->RecordCount(), 0);
  EXPECT_EQ(ds->MoveBy(1), 0);
  ds->First();
  EXPECT_TRUE(ds->Eof());
}

TEST_F(OpenTest, FailedOpenLeavesItClosedAndPassesTheError) {
  ds->on_open = [] { throw Exception(u"no such table"); };
  EXPECT_RAISES(ds->Open(), Exception, "no such table");
  EXPECT_EQ(ds->State(), dsInactive);
  EXPECT_FALSE(ds->Active());
  ds->on_open = nullptr;
  ds->Open();
  EXPECT_EQ(Name(), u"ann");
}

TEST_F(OpenTest, BindingLooksFieldsUpWithoutRegardToCase) {
  name->SetFieldName(u"name");
  ds->Open();
  EXPECT_EQ(name->FieldNo(), 1);
  EXPECT_EQ(Name(), u"ann");
}

TEST_F(OpenTest, PersistentFieldWithoutColumnFailsTheOpen) {
  auto* ghost = new TStringField(&owner);
  ghost->SetFieldName(u"GHOST");
  ghost->SetDataSet(ds);
  EXPECT_RAISES(ds->Open(), EDatabaseError, "People: Field 'GHOST' not found");
  EXPECT_FALSE(ds->Active());
}

TEST_F(OpenTest, TypeOutsideTheColumnsFamilyFailsTheOpen) {
  auto* wrong = new TFloatField(&owner);
  wrong->SetFieldName(u"SEEN");
  wrong->SetDataSet(ds);
  EXPECT_RAISES(ds->Open(), EDatabaseError,
                "People: Type mismatch for field 'SEEN', expecting: Float actual: DateTime");
}

TEST_F(OpenTest, RelatedTypesBindAcrossKinds) {
  // A date field on a date-time column and a wide field on a narrow column.
  auto* seen = new TDateField(&owner);
  seen->SetFieldName(u"SEEN");
  seen->SetDataSet(ds);
  name->SetDataSet(nullptr);
  auto* wide = new TWideStringField(&owner);
  wide->SetFieldName(u"NAME");
  wide->SetDataSet(ds);
  EXPECT_NO_THROW(ds->Open());
}

TEST_F(OpenTest, TextFieldSizeIsLoweredToShorterColumnUnlessReadOnly) {
  name->SetSize(30);
  ds->Open();
  EXPECT_EQ(name->Size(), 10);
  ds->Close();
  name->SetSize(30);
  name->SetReadOnly(true);
  ds->Open();
  EXPECT_EQ(name->Size(), 30);
  ds->Close();
  name->SetReadOnly(false);
  name->SetSize(5);  // a longer column never raises a field's size
  ds->Open();
  EXPECT_EQ(name->Size(), 5);
}

TEST_F(OpenTest, DefaultFieldsComeFromColumnsAndGoAtClose) {
  MemoryDataSet plain(nullptr);
  plain.Columns().Add(u"A", ftString, 4);
  plain.Columns().Add(u"B", ftLargeint);
  plain.Columns().Add(u"C", ftCursor);  // no field kind for it
  plain.AddRow({Text("abcd"), Int64(7), std::nullopt});
  EXPECT_EQ(plain.FieldCount(), 0);
  plain.Open();
  ASSERT_EQ(plain.FieldCount(), 2);
  EXPECT_TRUE(plain.DefaultFields());
  EXPECT_EQ(plain.FieldByName(u"a").AsString(), u"abcd");
  EXPECT_EQ(plain.FieldByName(u"A").Size(), 4);
  EXPECT_EQ(plain.FieldByName(u"B").AsLargeInt(), 7);
  plain.Close();
  EXPECT_EQ(plain.FieldCount(), 0);
  EXPECT_EQ(plain.FindField(u"A"), nullptr);
}

TEST_F(OpenTest, FieldLookupByName) {
  EXPECT_EQ(ds->FindField(u"score"), score);
  EXPECT_EQ(ds->FindField(u"nothing"), nullptr);
  EXPECT_EQ(&ds->FieldByName(u"Score"), score);
  EXPECT_RAISES(ds->FieldByName(u"nothing"), EDatabaseError, "People: Field 'nothing' not found");
  // A name in an array of its own ends at its first NUL, as in a view of it.
  Char name[16] = u"score";
  EXPECT_EQ(&ds->FieldByName(name), score);
  name[3] = 0;
  EXPECT_RAISES(ds->FieldByName(name), EDatabaseError, "People: Field 'sco' not found");
}

// Names match as SameText matches them: ASCII letters without regard to
// case, other characters through the Unicode case rules, nothing else alike.
TEST_F(OpenTest, FieldAndDefinitionLookupFollowTheTextCaseRules) {
  const std::vector<String> names = {u"A\u00e7\u00e3o", u"A[", u"a@", u"ID", u"id", u"\u00c9T\u00c9"};
  std::vector<TField*> fields;
  for (const String& n : names) {
    auto* f = new TStringField(&owner);
    f->SetFieldName(n);
    f->SetDataSet(ds);
    fields.push_back(f);
  }
  EXPECT_EQ(ds->FindField(u"a\u00c7\u00c3O"), fields[0]);
  EXPECT_EQ(ds->FindField(u"ACAO"), nullptr) << "accents are letters of their own";
  EXPECT_EQ(ds->FindField(u"a{"), nullptr) << "'[' and '{' are 32 apart but no letters";
  EXPECT_EQ(ds->FindField(u"A@"), fields[2]);
  EXPECT_EQ(ds->FindField(u"a`"), nullptr) << "'@' and '`' are 32 apart but no letters";
  EXPECT_EQ(ds->FindField(u"Id"), fields[3]) << "the first of two names equal but for case";
  EXPECT_EQ(ds->FindField(u"\u00e9t\u00e9"), fields[5]);
  EXPECT_EQ(ds->FindField(u"\u00e9t"), nullptr);
  EXPECT_EQ(ds->FindField(u"ID "), nullptr);
  EXPECT_EQ(ds->FindField(u""), nullptr);
  // A non-ASCII character may fold onto an ASCII one.
  EXPECT_EQ(ds->FindField(u"\u0131d"), SameText(u"ID", u"\u0131d") ? fields[3] : nullptr);
  EXPECT_EQ(&ds->FieldByName(u"sCoRe"), score);
  // Found after the one before it, a shared name is still the first; once
  // renamed, the other is found.
  EXPECT_EQ(ds->FindField(u"a@"), fields[2]);
  EXPECT_EQ(ds->FindField(u"id"), fields[3]);
  EXPECT_EQ(ds->FindField(u"iD"), fields[3]);
  fields[3]->SetFieldName(u"ID2");
  EXPECT_EQ(ds->FindField(u"iD"), fields[4]);
  EXPECT_EQ(ds->FindField(u"id2"), fields[3]);

  TFieldDefs defs;
  for (const String& n : names) defs.Add(n, ftString, 4, false);
  EXPECT_EQ(defs.IndexOf(u"A\u00c7\u00c3O"), 0);
  EXPECT_EQ(defs.IndexOf(u"a{"), -1);
  EXPECT_EQ(defs.IndexOf(u"a`"), -1);
  EXPECT_EQ(defs.IndexOf(u"iD"), 3);
  EXPECT_EQ(defs.IndexOf(u"\u00e9T\u00e9"), 5);
  EXPECT_EQ(defs.IndexOf(u"\u00c9T"), -1);
}

TEST_F(OpenTest, FieldSettingsAreFixedWhileOpen) {
  ds->Open();
  EXPECT_RAISES(name->SetFieldName(u"X"), EDatabaseError,
                "People: Cannot perform this operation on an open dataset");
  EXPECT_RAISES(name->SetSize(3), EDatabaseError,
                "People: Cannot perform this operation on an open dataset");
  EXPECT_RAISES(name->SetDataSet(nullptr), EDatabaseError,
                "People: Cannot perform this operation on an open dataset");
}

TEST_F(OpenTest, ActiveSetDuringLoadingOpensAfterLoading) {
  owner.BeginLoading();
  ds->SetActive(true);
  EXPECT_FALSE(ds->Active());
  owner.EndLoading();
  EXPECT_TRUE(ds->Active());
  EXPECT_EQ(Name(), u"ann");
}

TEST_F(OpenTest, HooksRunAroundOpenAndClose) {
  std::vector<std::string> calls;
  ds->BeforeOpen = [&](TDataSet& d) { calls.push_back("before open " + std::to_string(d.State())); };
  ds->AfterOpen = [&](TDataSet& d) { calls.push_back("after open " + std::to_string(d.State())); };
  ds->BeforeClose = [&](TDataSet&) { calls.push_back("before close"); };
  ds->AfterClose = [&](TDataSet& d) { calls.push_back("after close " + std::to_string(d.State())); };
  ds->Open();
  ds->Close();
  EXPECT_EQ(calls, (std::vector<std::string>{"before open 0", "after open 1", "before close",
                                             "after close 0"}));
}

// A component whose destruction closes a record set, as a connection closes
// the record sets that use it.
class ClosesOnDestruction : public TComponent {
 public:
  ClosesOnDestruction(TComponent* owner, TDataSet& ds) : TComponent(owner), ds_(ds) {}
  ~ClosesOnDestruction() override { ds_.Close(); }

 private:
  TDataSet& ds_;
};

TEST(CloseHooksTest, SkippedWhileTheContainerIsBeingDestroyed) {
  std::vector<std::string> calls;
  bool closed = false;
  {
    TComponent container(nullptr);
    auto* ds = new MemoryDataSet(&container);
    ds->Columns().Add(u"A", ftString, 4);
    ds->BeforeClose = [&](TDataSet&) { calls.push_back("before close"); };
    ds->AfterClose = [&](TDataSet& d) {
      calls.push_back("after close");
      closed = !d.Active();
    };
    ds->Open();
    ds->Close();  // an ordinary close runs both hooks
    ds->Open();
    new ClosesOnDestruction(&container, *ds);  // destroyed before the record set
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"before close", "after close"}));
  EXPECT_TRUE(closed);
}

TEST_F(OpenTest, FieldsOutliveTheirRecordSet) {
  auto* orphan = new TStringField(&owner);
  orphan->SetFieldName(u"ORPHAN");
  {
    MemoryDataSet temp(nullptr);
    orphan->SetDataSet(&temp);
  }
  EXPECT_EQ(orphan->DataSet(), nullptr);
  EXPECT_RAISES(orphan->AsString(), EDatabaseError, "Field 'ORPHAN' has no dataset");
  EXPECT_RAISES(orphan->SetAsString(u"x"), EDatabaseError, "Field 'ORPHAN' has no dataset");
}

using CalcTest = PeopleTest;

// Whether records are calculated follows the fields as they are at each
// open: a field made calculated, made a data field again, removed, added.
TEST_F(CalcTest, CalculationFollowsTheFieldsOfEachOpen) {
  auto* shout = new TStringField(&owner);
  shout->SetFieldName(u"SHOUT");
  shout->SetDataSet(ds);
  int runs = 0;
  ds->OnCalcFields = [&](TDataSet&) { ++runs; };
  auto runs_of_a_walk = [&] {
    runs = 0;
    ds->Open();
    ds->Next();
    ds->Close();
    return runs;
  };
  ds->Columns().Add(u"SHOUT", ftString, 10);
  for (Row& r : ds->Rows()) r.resize(4);
  EXPECT_EQ(runs_of_a_walk(), 0) << "a data field";
  shout->SetFieldKind(fkCalculated);
  EXPECT_GT(runs_of_a_walk(), 0);
  shout->SetFieldKind(fkData);
  EXPECT_EQ(runs_of_a_walk(), 0);
  shout->SetFieldKind(fkLookup);
  EXPECT_GT(runs_of_a_walk(), 0);
  shout->SetDataSet(nullptr);
  EXPECT_EQ(runs_of_a_walk(), 0) << "the lookup field left";
  shout->SetDataSet(ds);
  EXPECT_GT(runs_of_a_walk(), 0) << "and came back";
}

TEST_F(CalcTest, CalculatedFieldsFollowEveryRecordAndEveryChange) {
  auto* shout = new TStringField(&owner);
  shout->SetFieldName(u"SHOUT");
  shout->SetFieldKind(fkCalculated);
  shout->SetDataSet(ds);
  int runs = 0;
  ds->OnCalcFields = [&](TDataSet& d) {
    ++runs;
    EXPECT_EQ(d.State(), dsCalcFields);
    shout->SetAsString(UpperCase(name->AsString()) + u"!");
  };
  ds->Open();
  EXPECT_EQ(shout->AsString(), u"ANN!");
  ds->Next();
  EXPECT_EQ(shout->AsString(), u"BOB!");
  ds->Edit();
  EXPECT_FALSE(ds->Modified());
  name->SetAsString(u"rob");
  EXPECT_EQ(shout->AsString(), u"ROB!");
  EXPECT_EQ(ds->State(), dsEdit);
  EXPECT_TRUE(ds->Modified());
  ds->SetAutoCalcFields(false);
  name->SetAsString(u"bo");
  EXPECT_EQ(shout->AsString(), u"ROB!");  // only per record now
  ds->Cancel();
  EXPECT_EQ(shout->AsString(), u"BOB!");
  ds->Insert();
  EXPECT_TRUE(shout->IsNull());  // a new record starts without calculated values
  EXPECT_GT(runs, 3);
  ds->Cancel();
  EXPECT_RAISES(shout->SetAsString(u"x"), EDatabaseError,
                "People: Dataset not in edit or insert mode");
}

}  // namespace
}  // namespace kavo::test
