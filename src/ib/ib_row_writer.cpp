#include "ib/ib_row_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ib/ib_server_dates.h"
#include "rtl/datetime.h"

namespace kavo {

using ib_engine::RowReader;
using ib_engine::RowWriter;
using ib_engine::RowStore;
using ib_engine::RowWriteResult;

namespace {

using L = TIBRecordLayout;

const Char* const kDbKeyAlias = u"IB_INTERNAL_DBKEY";

TDateTime MillisecondsToDateTime(double ms) {
  double days = std::floor(ms / kMSecsPerDay);
  TTimeStamp ts{static_cast<int32_t>(ms - days * kMSecsPerDay), static_cast<int32_t>(days)};
  return TimeStampToDateTime(ts);
}

void AssignRaw(TIBXSQLVAR& param, const uint8_t* data, const TIBFieldSlot& slot) {
  if (slot.sql_type == SQL_BLOB || slot.sql_type == SQL_ARRAY || slot.sql_type == SQL_QUAD) {
    ISC_QUAD id{};
    std::memcpy(&id, data, std::min<size_t>(sizeof id, slot.data_size));
    param.SetAsQuad(id);
  } else if (slot.sql_type == SQL_BOOLEAN || slot.sql_type == kSqlBooleanInterBase) {
    param.SetAsBoolean(std::any_of(data, data + slot.data_size, [](uint8_t b) { return b; }));
  }
}

// A date or time slot straight in the server's form, as the conversion
// through a TDateTime would give it (a time to the whole second); false
// when only that conversion knows the answer.
bool AssignServerDateTime(TIBXSQLVAR& param, uint8_t* record, const TIBFieldSlot& slot,
                          TSlotKind kind) {
  int32_t value;
  std::memcpy(&value, L::Data(record, slot), sizeof value);
  if (kind == TSlotKind::Date) {
    if (value < 1 || value > kLastCalendarDay) return false;
    param.SetAsServerDate(value - kServerDayZero);
    return true;
  }
  constexpr int32_t kPerSecond = ISC_TIME_SECONDS_PRECISION;
  if (value < 0 || value >= 86400 * kPerSecond) return false;
  param.SetAsServerTime(static_cast<ISC_TIME>(value - value % kPerSecond));
  return true;
}

void AssignParam(TIBXSQLVAR& param, uint8_t* record, const TIBFieldSlot& slot,
                 bool server_dates) {
  const TSlotKind kind = SlotKind(slot);
  // A value as the server gave it goes back in the server's own form: an
  // edit of another column leaves its fractions of a second alone.
  if (slot.from_server && kind == TSlotKind::TimeStamp) {
    param.SetAsServerTimeStamp(SlotServerTimeStamp(record, slot));
    return;
  }
  if (slot.from_server && kind == TSlotKind::Time) {
    param.SetAsServerTime(SlotServerTime(record, slot));
    return;
  }
  if (server_dates && (kind == TSlotKind::Date || kind == TSlotKind::Time) &&
      AssignServerDateTime(param, record, slot, kind))
    return;
  switch (kind) {
    case TSlotKind::Text:
      // Straight from the slot: no copy of the text on the way.
      param.SetAsString(StringView(reinterpret_cast<const Char*>(L::Data(record, slot)),
                                   std::min(slot.data_length, slot.data_size) / 2));
      return;
    case TSlotKind::Float: param.SetAsDouble(SlotAsDouble(record, slot)); return;
    case TSlotKind::Int32:
      param.SetAsInteger(static_cast<int32_t>(SlotAsInt64(record, slot)));
      return;
    case TSlotKind::Int64: param.SetAsInt64(SlotAsInt64(record, slot)); return;
    case TSlotKind::Currency:
      // Beyond the currency form: the server's own digits, as text.
      if (slot.unscaled)
        param.SetAsString(SlotDecimalText(record, slot));
      else
        param.SetAsCurrency(SlotAsCurrency(record, slot));
      return;
    case TSlotKind::PackedDecimal: param.SetAsString(SlotDecimalText(record, slot)); return;
    case TSlotKind::TimeStamp:
      param.SetAsDateTime(MillisecondsToDateTime(SlotAsMilliseconds(record, slot)));
      return;
    case TSlotKind::Date:
      param.SetAsDate(MillisecondsToDateTime(SlotAsMilliseconds(record, slot)));
      return;
    case TSlotKind::Time:
      param.SetAsTime(MillisecondsToDateTime(SlotAsMilliseconds(record, slot)));
      return;
    case TSlotKind::Raw: AssignRaw(param, L::Data(record, slot), slot); return;
  }
}

void AssignDbKey(TIBXSQLVAR& param, const uint8_t* record) {
  const TIBRecordHeader& h = L::Header(const_cast<uint8_t*>(record));
  char* data = param.Data().SqlData();
  size_t n = std::min<size_t>(sizeof h.db_key, static_cast<size_t>(std::max(param.Size(), 0)));
  // Without a usable key the parameter matches no row, rather than the
  // row whose key it was given last.
  if (!h.has_db_key || data == nullptr || n == 0)
    param.SetIsNull(true);
  else
    std::memcpy(data, h.db_key, n);
}

}  // namespace

RowWriter::RowWriter(TIBSQL& select, const RowStore& store, const RowReader& reader)
    : select_(select), store_(store), reader_(reader) {
  for (auto& q : statements_) {
    q = std::make_unique<TIBSQL>(nullptr);
    q->SetGoToFirstRecordOnExecute(false);
  }
}

std::array<TIBSQL*, 4> RowWriter::Statements() const {
  return {statements_[kInsert].get(), statements_[kModify].get(), statements_[kDelete].get(),
          statements_[kRefresh].get()};
}

RowWriter::ParamSources RowWriter::SourcesOf(TIBSQL& q) const {
  TIBXSQLDA& params = q.Params();
  TIBXSQLDA& columns = select_.Current();
  ParamSources sources(static_cast<size_t>(params.Count()));
  for (int i = 0; i < params.Count(); ++i) {
    String name = params.Names()[static_cast<size_t>(i)];
    ParamSource& source = sources[static_cast<size_t>(i)];
    if (StartsText(u"OLD_", name)) {
      source.old = true;
      name.erase(0, 4);
    } else if (StartsText(u"NEW_", name)) {
      name.erase(0, 4);
    }
    if (TIBXSQLVAR* column = columns.ByName(name)) {
      source.column = column->Index();
      source.db_key = column->Name() == kDbKeyAlias;
    }
  }
  return sources;
}

const RowWriter::ParamSources& RowWriter::CachedSources(int index) {
  if (!built_[index]) {
    sources_[index] = SourcesOf(*statements_[index]);
    built_[index] = true;
  }
  return sources_[index];
}

void RowWriter::FillParams(TIBSQL& q, const ParamSources& sources, uint8_t* record,
                           uint8_t* old) const {
  TIBXSQLDA& params = q.Params();
  const int columns = store_.Layout().ColumnCount();
  const int count = std::min(params.Count(), static_cast<int>(sources.size()));
  // A dialect-1 date is a timestamp: only dialect 3 takes the server's forms.
  const bool server_dates = q.Dialect() >= 3;
  for (int i = 0; i < count; ++i) {
    const ParamSource& source = sources[static_cast<size_t>(i)];
    if (source.column < 0 || source.column >= columns) continue;
    uint8_t* from = source.old && old != nullptr ? old : record;
    TIBXSQLVAR& param = params[i];
    if (source.db_key) {
      AssignDbKey(param, from);
      continue;
    }
    const TIBFieldSlot& slot = L::Slot(from, source.column);
    if (slot.is_null)
      param.SetIsNull(true);
    else
      AssignParam(param, from, slot, server_dates);
  }
}

RowWriteResult RowWriter::Write(TUpdateKind kind, uint8_t* record, uint8_t* old) {
  const int index = Index(kind);
  TIBSQL& q = *statements_[index];
  FillParams(q, CachedSources(index), record, old);
  q.ExecQuery();
  RowWriteResult result;
  if (kind == ukInsert)
    result.count_from = &q;
  else
    result.rows_affected = q.RowsAffected();
  return result;
}

RowWriteResult RowWriter::Reread(TIBSQL* other, uint8_t* record, uint8_t* old) {
  RowWriteResult result;
  if (other != nullptr)
    FillParams(*other, SourcesOf(*other), record, old);
  else
    FillParams(RefreshStatement(), CachedSources(kRefresh), record, old);
  TIBSQL& q = other != nullptr ? *other : RefreshStatement();
  q.ExecQuery();
  if (q.SQLType() == SQLSelect) {
    if (TIBXSQLDA* row = q.Next()) {
      reader_.ReadByName(*row, record);
      result.found = true;
    }
    q.Close();
  } else if (q.SQLType() == SQLExecProcedure) {
    reader_.ReadByName(q.Current(), record);
    result.found = true;
  }
  return result;
}

}  // namespace kavo
