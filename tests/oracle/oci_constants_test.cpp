// The OCI constants exist twice: the layer's own (oracle/oci_types.h, and the
// external type codes among oracle/oracle_types.h) and the stand-in client's
// oci.h, as a real client and a real library would have them. They must agree.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "oracle/oci_types.h"
#include "oracle/oracle_types.h"

namespace {

using Constants = std::map<std::string, long long>;

// Read before oci.h is included: its macros carry the same names.
const Constants kLayer = {
#include "oci_constants_layer.inc"
};

// The layer's names for OCI's external data types.
const Constants kLayerTypes = {
    {"SQLT_CHR", kavo::otVarchar2}, {"SQLT_NUM", kavo::otNumber}, {"SQLT_INT", kavo::otInteger},
    {"SQLT_FLT", kavo::otFloat},    {"SQLT_STR", kavo::otString}, {"SQLT_LNG", kavo::otLong},
    {"SQLT_RID", kavo::otRowId},    {"SQLT_DAT", kavo::otDate},   {"SQLT_BIN", kavo::otRaw},
    {"SQLT_LBI", kavo::otLongRaw},  {"SQLT_AFC", kavo::otCharDB}, {"SQLT_AVC", kavo::otChar},
    {"SQLT_RDD", kavo::otRowidDesc}};

}  // namespace

#include "oci.h"

namespace {

const Constants kStandIn = {
#include "oci_constants_standin.inc"
};

#define KAVO_STANDIN(name) {#name, name}
const Constants kStandInTypes = {
    KAVO_STANDIN(SQLT_CHR), KAVO_STANDIN(SQLT_NUM), KAVO_STANDIN(SQLT_INT), KAVO_STANDIN(SQLT_FLT),
    KAVO_STANDIN(SQLT_STR), KAVO_STANDIN(SQLT_LNG), KAVO_STANDIN(SQLT_RID), KAVO_STANDIN(SQLT_DAT),
    KAVO_STANDIN(SQLT_BIN), KAVO_STANDIN(SQLT_LBI), KAVO_STANDIN(SQLT_AFC), KAVO_STANDIN(SQLT_AVC),
    KAVO_STANDIN(SQLT_RDD)};
#undef KAVO_STANDIN

}  // namespace

namespace kavo::test {
namespace {

TEST(OciConstants, LayerAndStandInAgreeByName) {
  // The parse-error offset attribute of 8.0 clients, which the stand-in is not.
  const std::map<std::string, long long> kLayerOnly = {{"OCI_ATTR_PARSE_ERROR_OFFSET_80", 128}};
  // Guards the configure-time listing itself: oci_types.h declares far more.
  ASSERT_GE(kLayer.size(), 60u);
  for (const auto& [name, value] : kLayer) {
    auto only = kLayerOnly.find(name);
    if (only != kLayerOnly.end()) {
      EXPECT_EQ(kStandIn.count(name), 0u) << name << " is in oci.h now: compare it there";
      EXPECT_EQ(value, only->second) << name;
      continue;
    }
    auto it = kStandIn.find(name);
    if (it == kStandIn.end()) {
      ADD_FAILURE() << name << " is missing from oci.h";
      continue;
    }
    EXPECT_EQ(value, it->second) << name;
  }
}

TEST(OciConstants, ExternalTypeCodesAgree) {
  ASSERT_EQ(kLayerTypes.size(), kStandInTypes.size());
  for (const auto& [name, value] : kLayerTypes) EXPECT_EQ(value, kStandInTypes.at(name)) << name;
}

}  // namespace
}  // namespace kavo::test
