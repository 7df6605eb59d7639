// The record-set tests' shared fixture: a record set with a few columns and
// rows, under a pinned locale.
#ifndef KAVO_TESTKIT_PEOPLE_DATASET_H_
#define KAVO_TESTKIT_PEOPLE_DATASET_H_

#include <gtest/gtest.h>

#include <memory>

#include "recordset/date_time_fields.h"
#include "recordset/numeric_fields.h"
#include "recordset/string_fields.h"
#include "testkit/memory_dataset.h"
#include "testkit/pinned_locale.h"

namespace kavo::test {

// Record set "People": NAME string(10), SCORE float, SEEN date-time, with
// three rows ann/bob/cid, persistent fields owned by the test's container.
class PeopleTest : public PinnedLocale {
 protected:
  void SetUp() override {
    PinnedLocale::SetUp();
    ds = new MemoryDataSet(&owner);
    ds->SetName(u"People");
    ds->Columns().Add(u"NAME", ftString, 10);
    ds->Columns().Add(u"SCORE", ftFloat);
    ds->Columns().Add(u"SEEN", ftDateTime);
    for (const char* n : {"ann", "bob", "cid"}) ds->AddRow({Text(n), Float(1.5), std::nullopt});
    name = new TStringField(&owner);
    name->SetFieldName(u"NAME");
    name->SetSize(10);
    name->SetDataSet(ds);
    score = new TFloatField(&owner);
    score->SetFieldName(u"SCORE");
    score->SetDataSet(ds);
  }

  String Name() const { return name->AsString(); }

  TComponent owner{nullptr};
  MemoryDataSet* ds = nullptr;
  TStringField* name = nullptr;
  TFloatField* score = nullptr;
};

// A post hook that refuses while `fail` is set.
inline std::function<void(const Row&, bool)> FailingPost(const bool& fail) {
  return [&fail](const Row&, bool) {
    if (fail) throw Exception(u"server refused");
  };
}

}  // namespace kavo::test

#endif  // KAVO_TESTKIT_PEOPLE_DATASET_H_
