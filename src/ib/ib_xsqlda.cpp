#include "ib/ib_xsqlda.h"

#include <algorithm>
#include <cstring>

#include "ib/ib_database.h"
#include "ib/ib_errors.h"
#include "ib/ib_intf.h"
#include "ib/ib_sql.h"
#include "ib/ib_sql_parser.h"

namespace kavo {

namespace {

// A name that normalises to itself in both dialects: no blank or control
// character at either end, no leading double quote, nothing that upper-cases
// to something else. Every name a program spells as the parameter's stored
// name is one, and a lookup of it needs no normalising copy.
bool IsNormalName(StringView name) {
  if (name.empty() || name.front() <= u' ' || name.back() <= u' ' || name.front() == u'"')
    return false;
  for (Char c : name)
    if (c >= 0x80 || (c >= u'a' && c <= u'z')) return false;
  return true;
}

}  // namespace

TIBXSQLDA::TIBXSQLDA(TIBSQL* sql, bool input) : sql_(sql), input_(input) {}
TIBXSQLDA::~TIBXSQLDA() = default;

std::unique_ptr<TSQLVAR> TIBXSQLDA::NewSQLVAR() const {
  if (sql_->Library().GetIBClientVersion() >= 7.0) return std::make_unique<TSQLVAR_V2>();
  return std::make_unique<TSQLVAR_V1>();
}

size_t TIBXSQLDA::HeaderSize() const { return offsetof(XSQLDA, sqlvar); }

short TIBXSQLDA::Sqld() const {
  return block_.empty() ? 0 : reinterpret_cast<const XSQLDA*>(block_.data())->sqld;
}

short TIBXSQLDA::Sqln() const {
  return block_.empty() ? 0 : reinterpret_cast<const XSQLDA*>(block_.data())->sqln;
}

void TIBXSQLDA::SetCount(int count) {
  if (count > size_ || block_.empty()) {
    std::unique_ptr<TSQLVAR> probe = NewSQLVAR();
    const size_t entry = probe->EntrySize();
    const size_t bytes = HeaderSize() + std::max(count, 1) * entry;
    std::vector<std::max_align_t> grown((bytes + sizeof(std::max_align_t) - 1) /
                                        sizeof(std::max_align_t));
    std::memset(grown.data(), 0, grown.size() * sizeof(std::max_align_t));
    if (!block_.empty())
      std::memcpy(grown.data(), block_.data(), HeaderSize() + size_ * entry);
    block_ = std::move(grown);
    char* base = reinterpret_cast<char*>(block_.data());
    for (int i = 0; i < size_; ++i) vars_[i]->Reset(base + HeaderSize() + i * entry);
    for (int i = size_; i < count; ++i) {
      auto var = std::make_unique<TIBXSQLVAR>(this, NewSQLVAR());
      var->index_ = i;
      var->Reset(base + HeaderSize() + i * entry);
      vars_.push_back(std::move(var));
    }
    size_ = std::max(size_, count);
    XSQLDA* da = AsXSQLDA();
    da->version = probe->Version();
    da->sqldabc = static_cast<ISC_LONG>(bytes);
  }
  XSQLDA* da = AsXSQLDA();
  da->sqln = static_cast<short>(count);
  da->sqld = static_cast<short>(count);
  count_ = count;
  names_.assign(count, String());
  normal_.assign(count, 0);
  shared_names_ = -1;
  for (int i = 0; i < count; ++i) vars_[i]->name_.clear();
  if (count == 0) unique_relation_name_.clear();
}

void TIBXSQLDA::IndexOutOfRange() { IBError(ibceXSQLDAIndexOutOfRange); }

void TIBXSQLDA::AddName(const String& name, int index) {
  String normalized = FormatIdentifierValue(sql_->Dialect(), name);
  names_.at(index) = normalized;
  normal_.at(index) = IsNormalName(normalized) ? 1 : 0;
  vars_.at(index)->name_ = normalized;
  vars_.at(index)->index_ = index;
  shared_names_ = -1;
}

void TIBXSQLDA::FindSharedNames() const {
  shared_names_ = 0;
  for (int i = 0; i < count_ && shared_names_ == 0; ++i)
    for (int j = i + 1; j < count_; ++j)
      if (!names_[i].empty() && names_[i] == names_[j]) {
        shared_names_ = 1;
        break;
      }
}

TIBXSQLVAR* TIBXSQLDA::SearchName(StringView name) {
  String normalised;
  if (!IsNormalName(name)) {
    normalised = FormatIdentifierValue(sql_->Dialect(), name);
    name = normalised;
  }
  for (int i = 0; i < count_; ++i)
    if (SameName(names_[i], name)) {
      next_lookup_ = i + 1;
      return vars_[i].get();
    }
  return nullptr;
}

void TIBXSQLDA::Initialize() {
  if (count_ == 0) return;
  const int limit = vars_[0]->Data().NameLimit();
  // The relation all entries share, if they share one.
  unique_relation_name_.clear();
  bool differs = false;
  for (int i = 0; i < count_ && !differs; ++i) {
    String rel = vars_[i]->RelName();
    if (rel.empty()) continue;
    if (unique_relation_name_.empty())
      unique_relation_name_ = rel;
    else if (rel != unique_relation_name_)
      differs = true;
  }
  if (differs) unique_relation_name_.clear();

  bool named = std::any_of(names_.begin(), names_.end(), [](const String& n) { return !n.empty(); });
  if (!named) {
    const int dialect = sql_->Dialect();
    for (int i = 0; i < count_; ++i) {
      TIBXSQLVAR& var = *vars_[i];
      String alias = var.AliasName();
      String base = alias.empty() ? String(u"F_") : alias;
      String candidate = alias.empty() ? String(u"F_1") : alias;
      auto taken = [&](const String& c) {
        String n = FormatIdentifierValue(dialect, c);
        return std::find(names_.begin(), names_.begin() + i, n) != names_.begin() + i;
      };
      for (int counter = 1; taken(candidate); ++counter) {
        String suffix = IntToStr(counter);
        size_t keep = std::min(base.size(), static_cast<size_t>(std::max<int>(
                                                0, limit - 1 - static_cast<int>(suffix.size()))));
        candidate = base.substr(0, keep) + suffix;
      }
      var.Data().SetAliasName(var.EncodeForConnection(candidate));
      AddName(candidate, i);
    }
  }
  for (int i = 0; i < count_; ++i) vars_[i]->Initialize();
}

}  // namespace kavo
