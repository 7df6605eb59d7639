// TOracleDataSet: properties, the session link, opening (statement, column
// descriptions, record layout), fetching rows into the record store, closing.
#include <algorithm>
#include <cstring>

#include "oracle/dataset_messages.h"
#include "oracle/oracle_dataset.h"
#include "oracle/oracle_date.h"
#include "oracle/oracle_error.h"
#include "oracle/oracle_text.h"
#include "oracle/oracle_types.h"
#include "recordset/database_error.h"
#include "rtl/code_page.h"

namespace kavo {

namespace {

// Sets a flag for a scope and clears it however the scope ends.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }

 private:
  bool& flag_;
};

}  // namespace

std::function<void(const Exception&)>& TOracleDataSet::ShowMessageHook() {
  static std::function<void(const Exception&)> hook;
  return hook;
}

TOracleDataSet::TOracleDataSet(TComponent* owner)
    : roles::OracleDataSet(owner), main_query_(std::make_unique<TOracleQuery>(nullptr)) {
  main_query_->SetName(u"MainQuery");
  main_query_->SetReadBuffer(read_buffer_);
  main_query_->SetOptimize(optimize_);
  main_query_->SQL().OnChange = [this] { SQLChanged(); };
}

TOracleDataSet::~TOracleDataSet() {
  try {
    DestroyCursor();
  } catch (const std::exception&) {
  }
  main_query_->SQL().OnChange = nullptr;
  if (session_ != nullptr) {
    session_->RemoveDataSet(this);
    RemoveFreeNotification(session_);
  }
  dml_query_.reset();
  main_query_.reset();
}

// ---- properties -----------------------------------------------------------------

TStringList& TOracleDataSet::SQL() { return main_query_->SQL(); }
TVariables& TOracleDataSet::Variables() { return main_query_->Variables(); }
void TOracleDataSet::DeclareVariable(const String& name, int type) {
  main_query_->DeclareVariable(name, type);
}
void TOracleDataSet::SetVariable(const String& name, const OraVariant& value) {
  main_query_->SetVariable(name, value);
}
OraVariant TOracleDataSet::GetVariable(const String& name) { return main_query_->GetVariable(name); }
void TOracleDataSet::DeleteVariables() { main_query_->DeleteVariables(); }
String TOracleDataSet::SubstitutedSQL() { return main_query_->SubstitutedSQL(); }

void TOracleDataSet::SetReadBuffer(int rows) {
  read_buffer_ = rows;
  main_query_->SetReadBuffer(rows);
}

void TOracleDataSet::SetOptimize(bool v) {
  optimize_ = v;
  main_query_->SetOptimize(v);
}

void TOracleDataSet::SetDebug(bool v) {
  debug_ = v;
  main_query_->SetDebug(v);
}

void TOracleDataSet::SetStringFieldsOnly(bool v) {
  if (v == string_fields_only_) return;
  string_fields_only_ = v;
  main_query_->SetStringFieldsOnly(v);
  Reopen();
}

void TOracleDataSet::SetUnidirectional(bool v) {
  if (v != unidirectional_) CheckInactive();
  unidirectional_ = v;
}

void TOracleDataSet::SetUpdatingTable(const String& v) {
  updating_table_ = v;
  updating_table_cached_ = false;
}

void TOracleDataSet::SetQBEMode(bool v) {
  if (v) throw Exception(SQBEModeNotBuilt);
}

void TOracleDataSet::SetMaster(TOracleDataSet* master) {
  if (master != nullptr) throw Exception(SMasterNotBuilt);
}

bool TOracleDataSet::Detached() const {
  return Active() && (session_ == nullptr || !session_->Connected());
}

void TOracleDataSet::SQLChanged() {
  updating_table_cached_ = false;
  Reopen();
}

void TOracleDataSet::Reopen() {
  if (!Active() || Loading()) return;
  Close();
  Open();
}

// ---- the session ------------------------------------------------------------------

void TOracleDataSet::SetSession(TOracleSession* session) {
  if (session == session_) return;
  if (Active() && !(session == nullptr && detachable_)) Close();
  if (session_ != nullptr) {
    session_->RemoveDataSet(this);
    RemoveFreeNotification(session_);
  }
  session_ = session;
  main_query_->SetSession(session);
  if (dml_query_) dml_query_->SetSession(session);
  if (session_ != nullptr) {
    session_->AddDataSet(this);
    FreeNotification(session_);
  }
}

void TOracleDataSet::Notification(TComponent* component, TOperation operation) {
  roles::OracleDataSet::Notification(component, operation);
  // The session is gone: only its component part is left, so nothing of it
  // may be called. Its statements were already detached by it.
  if (operation == opRemove && session_ != nullptr &&
      component == static_cast<TComponent*>(session_)) {
    session_ = nullptr;
    if (Active() && !detachable_) {
      try {
        Close();
      } catch (const std::exception&) {
      }
    }
  }
}

void TOracleDataSet::SessionClose() { Close(); }

void TOracleDataSet::SessionStateChanged() {
  // A detached record set keeps its rows; GetCanModify asks Detached().
}

void TOracleDataSet::DoSetActive(bool value) {
  if (Loading()) {
    stored_active_ = value;
    return;
  }
  roles::OracleDataSet::DoSetActive(value);
}

void TOracleDataSet::Loaded() {
  roles::OracleDataSet::Loaded();
  if (!stored_active_) return;
  stored_active_ = false;
  if (design_activation_) return;
  if (session_ != nullptr && session_->Connected()) Open();
}

// ---- statements -----------------------------------------------------------------

TOracleQuery& TOracleDataSet::DMLQuery() {
  if (!dml_query_) {
    dml_query_ = std::make_unique<TOracleQuery>(nullptr);
    dml_query_->SetName(u"DMLQuery");
  }
  TOracleQuery& q = *dml_query_;
  q.SetSession(session_);
  q.SetCursor(main_query_->Cursor());
  q.SetOptimize(optimize_);
  q.SetDebug(debug_);
  q.SetReadBuffer(2);
  q.SetStringFieldsOnly(false);
  return q;
}

void TOracleDataSet::CloseDMLQuery() {
  if (dml_query_ && !optimize_) dml_query_->Close();
}

// ---- opening --------------------------------------------------------------------

void TOracleDataSet::CheckUnsupportedOptions() {
  const TOracleDictionary& d = dictionary_;
  const std::pair<bool, const Char*> options[] = {
      {d.FieldKinds, u"FieldKinds"},
      {d.DisplayFormats, u"DisplayFormats"},         {d.RangeValues, u"RangeValues"},
      {d.CharacterSize, u"CharacterSize"}};
  for (const auto& [set, name] : options)
    if (set)
      throw Exception(u"OracleDictionary." + String(name) +
                      u" is not supported by this TOracleDataSet");
}

void TOracleDataSet::InternalOpen() {
  FlagScope activating(activating_);
  position_ = -1;
  SetBookmarkSize(4);
  CheckUnsupportedOptions();
  InitFieldDefs();
  if (DefaultFields()) CreateFields();
  BindFields(true);
  SetOracleFieldInfo();
  work_blobs_.Clear();
  BuildLayout();
  store_ = std::make_unique<RowStore>(record_size_, read_buffer_, Name());
  store_->SetUnidirectional(unidirectional_);
  if (cached_updates_ && rowid_index_ < 0) throw Exception(SCachedUpdatesRowId);
  if (rowid_index_ >= 0 && !Trim(unique_fields_).empty()) GetIdColumns();
  store_->SetFiltered(filtered_);
  BuildFilter();
  QueryRecords(true);
  counted_ = false;
  added_ = 0;
}

void TOracleDataSet::InternalInitFieldDefs() {
  FieldDefs().Clear();
  TOracleQuery& q = MainQuery();
  if (activating_) {
    if (BeforeQuery) BeforeQuery(*this);
    q.Execute();
    // An empty result lets go of its description with its cursor.
    if (q.FieldCount() == 0 && q.Eof()) q.Describe();
  } else {
    q.Describe();
  }
  columns_ = DescribeColumns(q);
  rowid_index_ = FindRowIdIndex(columns_);
  std::vector<String> names;
  for (int i = 0; i < static_cast<int>(columns_.size()); ++i)
    if (i != rowid_index_) names.push_back(columns_[static_cast<size_t>(i)].Name);
  names = UniqueColumnNames(names);

  infos_.Clear();
  infos_.Items().emplace_back();  // item 0: the placeholder
  const TSessionPreferences* prefs = session_ ? &session_->Preferences() : nullptr;
  TSessionPreferences defaults(nullptr);
  if (prefs == nullptr) prefs = &defaults;
  size_t n = 0;
  for (int i = 0; i < static_cast<int>(columns_.size()); ++i) {
    if (i == rowid_index_) continue;
    const TColumnDescription& c = columns_[static_cast<size_t>(i)];
    TOracleFieldInfo info;
    info.InfoType = itUnusedField;
    info.FFullName = names[n++];
    info.ColumnName = c.Name;
    info.DataType = c.DataType;
    info.DBType = c.DBType;
    info.TypeName = OracleTypeName(c.DBType);
    info.Size = c.Size;
    info.Scale = c.Scale;
    info.Precision = c.Precision;
    info.FieldIndex = i;
    info.CharSetID = c.CharSetID;
    info.CharSetForm = c.CharSetForm;
    info.IsUTF8 = c.IsUTF8;
    info.IsUTF16 = c.IsUTF16;
    info.IsWide = IsWideColumn(c, *prefs);
    infos_.Items().push_back(info);
    bool required = dictionary_.RequiredFields && !c.Optional;
    if (auto def = CreateFieldDef(info, info.FFullName, infos_.Count() - 1, required, *prefs))
      FieldDefs().Add(*def);
  }
  if (Active()) {
    SetOracleFieldInfo();
    BuildLayout();
  } else {
    std::vector<String> def_names;
    for (int i = 0; i < FieldDefs().Count(); ++i) def_names.push_back(FieldDefs()[i].Name);
    qbe_definition_.Synchronize(def_names);
  }
}

void TOracleDataSet::SetOracleFieldInfo() {
  for (int i = 1; i < infos_.Count(); ++i) {
    infos_[i].Field = nullptr;
    infos_[i].InfoType = itUnusedField;
    infos_[i].QBE = nullptr;
  }
  for (int k = 0; k < FieldCount(); ++k) {
    TField* f = Fields(k);
    if (f->FieldKind() != fkData) continue;
    int i = infos_.IndexOfField(f);
    if (i <= 0) continue;
    TOracleFieldInfo& info = infos_[i];
    info.Field = f;
    info.InfoType = itField;
    info.ReadOnly = f->ReadOnly();
    info.Required = f->Required();
    info.QBE = qbe_definition_.FieldByName(f->FieldName());
  }
}

void TOracleDataSet::BuildLayout() {
  slots_.clear();
  slot_of_.clear();
  size_t offset = 0;
  auto add = [&](TField* f, bool data) {
    Slot s;
    s.field = f;
    if (data) {
      s.info = infos_.IndexOfField(f);
      if (s.info < 0) s.info = 0;
      if (s.info > 0 && f->FieldKind() == fkData) s.column = infos_[s.info].FieldIndex;
    }
    TFieldType t = f->DataType();
    bool utf16_column = s.info > 0 && infos_[s.info].IsUTF16;
    if (f->IsBlob() || t == ftMemo || t == ftWideMemo || t == ftBlob || t == ftOraBlob ||
        t == ftOraClob) {
      s.form = Form::kBlob;
      s.width = 0;
    } else if (t == ftString || t == ftFixedChar) {
      s.form = Form::kAnsi;
      s.width = static_cast<size_t>(f->Size()) + 1;
    } else if (t == ftWideString || t == ftFixedWideChar) {
      // A wide field of a column that is not UTF-16 keeps UTF-8 (or 8-bit)
      // bytes; a calculated one holds UTF-16, its real size.
      s.form = (!data || utf16_column || s.info == 0) ? Form::kUtf16 : Form::kUtf8;
      s.width = s.form == Form::kUtf16 ? static_cast<size_t>(f->GetDataSize())
                                       : static_cast<size_t>(f->Size()) + 1;
    } else if (f->GetDataSize() > 0) {
      s.form = Form::kFixed;
      s.width = static_cast<size_t>(f->GetDataSize());
    } else {
      return;
    }
    s.offset = offset;
    offset += 1 + s.width;
    if (s.info > 0) infos_[s.info].FieldOffset = static_cast<int>(s.offset);
    slot_of_[f] = slots_.size();
    slots_.push_back(s);
  };
  for (int k = 0; k < FieldCount(); ++k) {
    TField* f = Fields(k);
    if (f->FieldKind() == fkData || f->FieldKind() == fkInternalCalc) add(f, true);
  }
  for (int k = 0; k < FieldCount(); ++k) {
    TField* f = Fields(k);
    if (f->FieldKind() == fkCalculated || f->FieldKind() == fkLookup) add(f, false);
  }
  record_size_ = RecInfoSize + offset;
}

// ---- fetching -------------------------------------------------------------------

void TOracleDataSet::QueryRecords(bool opening) {
  store_->FreeRecords();
  for (int i = 0; i < change_log_.Count(); ++i) change_log_.Item(i).Visible = false;
  bookmark_counter_ = 0;
  position_ = -1;
  rows_remain_ = false;
  if (session_ == nullptr || !session_->Connected()) return;  // detached
  TOracleQuery& q = MainQuery();
  if (!opening) {
    if (BeforeQuery) BeforeQuery(*this);
    q.Execute();
  }
  first_fetch_ = true;
  rows_remain_ = true;
  try {
    if (query_all_records_ && !unidirectional_)
      while (QueryRecord()) {
      }
  } catch (...) {
    if (AfterQuery) AfterQuery(*this);
    throw;
  }
  if (AfterQuery) AfterQuery(*this);
}

bool TOracleDataSet::QueryRecord() {
  if (!store_) return false;
  TOracleQuery& q = MainQuery();
  for (;;) {
    // Logged inserts come back at their positions, the rest after the rows.
    TRecordBuffer record = ReAddLoggedInsert(false);
    if (record == nullptr) {
      if (!rows_remain_) {
        record = ReAddLoggedInsert(true);
        if (record == nullptr) return false;
      } else {
        if (first_fetch_)
          first_fetch_ = false;
        else
          q.Next();
        if (q.Eof()) {
          rows_remain_ = false;
          continue;
        }
        const char* rowid = nullptr;
        size_t rowid_length = 0;
        if (rowid_index_ >= 0 && !q.FieldIsNull(rowid_index_)) {
          rowid = reinterpret_cast<const char*>(q.FieldData(rowid_index_));
          rowid_length = strnlen(rowid, static_cast<size_t>(q.FieldSize(rowid_index_)) + 1);
        }
        TChangeLogItem* logged = nullptr;
        if (cached_updates_ && !change_log_.Empty() && rowid != nullptr)
          logged = change_log_.FindByRowId(AsciiToString(std::string_view(rowid, rowid_length)));
        if (logged != nullptr) logged->Visible = true;
        if (logged != nullptr && logged->Action == u'D') continue;  // deleted, not yet applied
        // The slot is taken once a row is there, so that in unidirectional
        // mode the records held are let go only for a row that replaces them.
        record = store_->FirstFreeRecord(false);
        ReadRow(record);
        store_->NewRecord(-1, false, -1);
        if (logged != nullptr && logged->Action != u'D') {
          CopyIntoRecord(logged->AfterData.Data(), record, record_size_);
          if (const TBlobList* blobs = Header(logged->AfterData.Data()).BlobList)
            store_->Blobs(record) = *blobs;
        }
        if (rowid != nullptr) store_->SetRowIdAscii(record, rowid, rowid_length);
        TRecordHeader& h = Header(record);
        h.Bookmark = ++bookmark_counter_;
        h.BookmarkFlag = bfCurrent;
        if (logged != nullptr) logged->SetBookmark(h.Bookmark);
      }
    }
    bool accepted = !filtered_ || ApplyFilterTo(record);
    if (accepted && filtered_) store_->AddToFilteredList(record, true);
    if (!AfterFetchRecord) {
      if (accepted) return true;
      continue;
    }

    TAfterFetchRecordAction action = afContinue;
    fetch_record_ = record;
    try {
      AfterFetchRecord(*this, accepted, action);
    } catch (const Exception& e) {
      if (ShowMessageHook()) ShowMessageHook()(e);
      action = afCancel;
    }
    fetch_record_ = nullptr;
    switch (action) {
      case afContinue:
        if (accepted) return true;
        continue;
      case afPause:
        return false;
      case afStop:
        q.Cancel();
        q.Close();
        rows_remain_ = false;
        return accepted;
      case afCancel:
        q.Cancel();
        q.Close();
        rows_remain_ = false;
        store_->FreeRecords();
        position_ = -1;
        return false;
    }
    return accepted;
  }
}

// Writes every field of a record whose data area is not cleared: a column's
// null byte and value, and null for the fields without a column.
void TOracleDataSet::ReadRow(TRecordBuffer record) {
  for (const Slot& s : slots_) {
    if (s.column >= 0) {
      ReadColumn(record, s);
    } else {
      uint8_t* area = DataArea(record) + s.offset;
      area[0] = 1;
      std::memset(area + 1, 0, s.width);
    }
  }
}

void TOracleDataSet::ReadColumn(TRecordBuffer record, const Slot& s) {
  TOracleQuery& q = MainQuery();
  uint8_t* area = DataArea(record) + s.offset;
  if (q.FieldIsNull(s.column)) {
    area[0] = 1;
    return;
  }
  area[0] = 0;
  uint8_t* value = area + 1;
  TField* f = s.field;
  const TOracleFieldInfo& info = infos_[s.info];
  const uint8_t* src = q.FieldData(s.column);
  bool produced = false;
  switch (info.DataType) {
    case otInteger: {
      int32_t v;
      std::memcpy(&v, src, sizeof v);
      if (f->DataType() == ftSmallint) {
        int16_t w = static_cast<int16_t>(v);
        std::memcpy(value, &w, sizeof w);
        produced = true;
      } else if (f->DataType() == ftInteger || f->DataType() == ftAutoInc) {
        std::memcpy(value, &v, sizeof v);
        produced = true;
      } else if (f->DataType() == ftLargeint) {
        int64_t w = v;
        std::memcpy(value, &w, sizeof w);
        produced = true;
      }
      break;
    }
    case otFloat:
      if (f->DataType() == ftFloat) {
        std::memcpy(value, src, 8);
        produced = true;
      }
      break;
    case otString:
    case otReference:
      if (s.form == Form::kAnsi || s.form == Form::kUtf8 || s.form == Form::kUtf16 ||
          s.form == Form::kBlob) {
        ReadTextColumn(record, s, s.column);
        produced = true;
      }
      break;
    case otDate:
      if (f->DataType() == ftDateTime || f->DataType() == ftDate || f->DataType() == ftTime) {
        TDateTime t = OracleToNativeDate(src);
        DataConvert(f, &t, value, true);
        produced = true;
      }
      break;
    case otLong:
    case otLongRaw:
      if (s.form == Form::kBlob) {
        std::string bytes = q.Field(s.column).AnsiBytes();
        if (info.DataType == otLongRaw) {
          OraVariant v = q.Field(s.column);
          bytes.assign(v.ByteArray().begin(), v.ByteArray().end());
          static const unsigned char kHeader[] = {0x91, 0x00, 0xA6, 0x38, 0x88, 0xB7, 0xCC, 0x1B};
          if (bytes.size() > 7 && std::memcmp(bytes.data(), kHeader, 8) == 0)
            throw Exception(SCompressedNotBuilt + f->FieldName());
          if (compress_blobs_ && OnDecompressBLOB) OnDecompressBLOB(*this, bytes);
        } else if (f->DataType() == ftWideMemo) {
          bytes = Utf8Encode(Utf8Decode(bytes));
        }
        area[0] = 1;
        if (!bytes.empty()) {
          BlobsOf(record).BlobByField(f).Bytes = std::move(bytes);
          area[0] = 0;
        }
        produced = true;
      }
      break;
    default:
      break;
  }
  if (!produced) DatabaseError(SUnexpectedDatatype + f->FieldName(), this);
}

void TOracleDataSet::MarkNotHeld(TRecordBuffer record, const Slot& s, String why) {
  DataArea(record)[s.offset] = kNotHeld;
  BlobsOf(record).BlobByField(s.field).NotHeld = std::move(why);
}

void TOracleDataSet::ReadTextColumn(TRecordBuffer record, const Slot& s, int column) {
  TOracleQuery& q = MainQuery();
  uint8_t* area = DataArea(record) + s.offset;
  const TOracleFieldInfo& info = infos_[s.info];
  bool trim = session_ == nullptr || session_->Preferences().TrimStringFields();
  uint8_t* value = area + 1;
  size_t size = s.field->Size() < 0 ? 0 : static_cast<size_t>(s.field->Size());

  std::string bytes;  // the column's bytes (UTF-8 when the column is)
  String wide;        // or its text, when it had to be decoded
  bool have_wide = false;
  bool malformed = false;
  const char* p = nullptr;
  size_t n = 0;
  if (info.IsUTF16) {
    wide = q.Field(column).AsString();
    have_wide = true;
  } else {
    p = reinterpret_cast<const char*>(q.FieldData(column));
    n = strnlen(p, static_cast<size_t>(q.FieldSize(column)) + 1);
    // The value goes on past a NUL: no field text can carry it whole. (A
    // client may count the terminator in the returned length.)
    if (static_cast<size_t>(q.FieldLength(column)) > n + 1 &&
        (s.form == Form::kAnsi || s.form == Form::kUtf8)) {
      std::memcpy(value, p, std::min(n, size));
      value[std::min(n, size)] = 0;
      MarkNotHeld(record, s,
                  u"Field '" + s.field->FieldName() +
                      u"': the value holds a NUL character, which no text field can carry");
      return;
    }
  }
  // Plain ASCII without line ends reads the same in every code page, one
  // byte a character: it goes straight into the value area.
  bool plain = !have_wide && IsPlainAsciiLine(std::string_view(p, n));
  if (plain && (s.form == Form::kAnsi || s.form == Form::kUtf8)) {
    if (trim)
      while (n > 0 && static_cast<unsigned char>(p[n - 1]) <= ' ') --n;
    if (n > size && std::string_view(p + size, n - size).find_first_not_of(' ') !=
                        std::string_view::npos) {
      std::memcpy(value, p, size);
      value[size] = 0;
      MarkNotHeld(record, s, SNotHeldTooLong(s.field->FieldName(), n, u" bytes", size, false));
      return;
    }
    n = std::min(n, size);
    std::memcpy(value, p, n);
    value[n] = 0;
    return;
  }
  if (!have_wide) bytes.assign(p, n);
  bool widened = false;
  const String who = u"Field '" + s.field->FieldName() + u"'";
  const String bad_utf8 = who + u": the server sent text that is not valid UTF-8";
  auto too_long = [&](size_t length, const Char* unit) {
    return SNotHeldTooLong(s.field->FieldName(), length, unit, size, widened);
  };
  auto text = [&]() -> String {
    if (!have_wide) {
      String decoded = info.IsUTF8 ? Utf8Decode(bytes, &malformed) : AnsiToString(bytes);
      const size_t before = decoded.size();
      wide = AddCRW(std::move(decoded), session_);
      widened = wide.size() != before;
      have_wide = true;
    }
    return wide;
  };
  auto trim_bytes = [&](std::string& b) {
    if (!trim) return;
    size_t n = b.size();
    while (n > 0 && static_cast<unsigned char>(b[n - 1]) <= ' ') --n;
    b.resize(n);
  };
  // What the slot holds is cut to its size as before, and kept for the row
  // check; a value that lost anything on the way is marked, so that reading
  // it raises instead of handing the loss on.
  auto place = [&](const std::string& out, const std::string& code_page, bool lossy) {
    const std::string kept = CutWholeCharacters(out, size, code_page);
    std::memcpy(value, kept.data(), kept.size());
    value[kept.size()] = 0;
    if (malformed)
      MarkNotHeld(record, s, bad_utf8);
    else if (lossy)
      MarkNotHeld(record, s, CannotStoreMessage(who, TrimRight(wide), AsciiToString(code_page)));
    else if (kept.size() < out.size() &&
             out.find_first_not_of(' ', kept.size()) != std::string::npos)
      MarkNotHeld(record, s, too_long(out.size(), u" bytes"));
  };

  switch (s.form) {
    case Form::kAnsi: {
      bool lossy = false;
      std::string out = plain ? std::move(bytes) : StringToAnsi(text(), &lossy);
      trim_bytes(out);
      place(out, AnsiCodePage(), lossy);
      if (!plain) KeepServerText(record, s, trim ? TrimRight(text()) : text());
      return;
    }
    case Form::kUtf8: {
      std::string out;
      if (plain || (info.IsUTF8 && !have_wide)) {
        if (!plain) {
          // Decoded only to learn whether it is well formed and how line ends widen.
          text();
          out = malformed ? std::move(bytes) : AddCR(bytes, session_);
        } else {
          out = std::move(bytes);
        }
      } else {
        out = Utf8Encode(text());
      }
      trim_bytes(out);
      place(out, "UTF-8", false);
      return;
    }
    case Form::kUtf16: {
      String t = text();
      if (trim) t = TrimRight(t);
      if (malformed) MarkNotHeld(record, s, bad_utf8);
      if (t.size() > size) {
        size_t n = size;
        // Never half of a surrogate pair.
        if (n > 0 && t[n - 1] >= 0xD800 && t[n - 1] <= 0xDBFF) --n;
        if (!malformed) MarkNotHeld(record, s, too_long(t.size(), u" characters"));
        t.resize(n);
      }
      std::memcpy(value, t.data(), t.size() * sizeof(Char));
      std::memset(value + t.size() * sizeof(Char), 0, sizeof(Char));
      return;
    }
    case Form::kBlob: {
      // A long string kept as a memo: empty is null.
      std::string out = s.field->DataType() == ftWideMemo ? Utf8Encode(text())
                                                            : (plain ? bytes : StringToAnsi(text()));
      trim_bytes(out);
      area[0] = 1;
      if (out.empty()) return;
      area[0] = 0;
      BlobsOf(record).BlobByField(s.field).Bytes = std::move(out);
      return;
    }
    default:
      return;
  }
}

// ---- closing --------------------------------------------------------------------

void TOracleDataSet::InternalClose() {
  store_.reset();
  position_ = -1;
  bookmark_counter_ = 0;
  rows_remain_ = false;
  updating_table_cached_ = false;
  try {
    dml_query_.reset();
  } catch (const std::exception&) {
  }
  work_blobs_.Clear();
  slots_.clear();
  slot_of_.clear();
  record_size_ = RecInfoSize;
  fetch_record_ = nullptr;
  lockpoint_set_ = false;
  // Pending cached updates are lost with the records.
  change_log_.Clear();
  logging_ = false;
  applying_ = false;
}

void TOracleDataSet::InternalHandleException() {
  // No screen: the error passes on to the caller.
}

}  // namespace kavo
