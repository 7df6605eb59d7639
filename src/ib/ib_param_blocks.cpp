#include "ib/ib_param_blocks.h"

#include <cstdint>

#include "ib/ib_errors.h"
#include "rtl/code_page.h"
#include "rtl/string_list.h"

namespace kavo {

namespace {

int32_t StrToInt(const String& text) {
  int32_t value = 0;
  if (!TryStrToInt(text, value))
    throw EConvertError(Format(u"'%s' is not a valid integer value", {text}));
  return value;
}

// A cluster: code, one length byte, the bytes.
void AppendCluster(std::string& out, char code, const std::string& bytes) {
  if (bytes.size() > 255)
    IBError(ibceStringTooLarge, {static_cast<int>(bytes.size()), 255});
  out += code;
  out += static_cast<char>(bytes.size());
  out += bytes;
}

void AppendString(std::string& out, char code, const String& value) {
  AppendCluster(out, code, StringToAnsi(value));
}

// A constant's code is its position in the name table, counted from 1; 0 for
// an unknown name.
int CodeOf(const std::vector<String>& names, StringView name) {
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return static_cast<int>(i) + 1;
  return 0;
}

void AppendByte(std::string& out, char code, int32_t value) {
  out += code;
  out += '\1';
  out += static_cast<char>(value & 0xFF);
}

// Codes of the accepted database parameters.
enum DpbCode {
  kNumBuffers = 5, kVerify = 9, kSweep = 10, kDbkeyScope = 13, kDamaged = 17, kLicense = 18,
  kSysUserName = 19, kEncryptKey = 20, kActivateShadow = 21, kSweepInterval = 22,
  kDeleteShadow = 23, kForceWrite = 24, kBeginLog = 25, kQuitLog = 26, kNoReserve = 27,
  kUserName = 28, kPassword = 29, kPasswordEnc = 30, kOnlineDump = 33, kOldFileSize = 34,
  kOldFileName = 36, kLcMessages = 47, kLcCtype = 48, kOverwrite = 54, kSqlRoleName = 60,
  kSqlDialect = 63, kInstanceName = 75, kSysEncryptPassword = 85,
};

}  // namespace

const std::vector<String>& DPBConstantNames() {
  static const std::vector<String> names = {
      u"cdd_pathname", u"allocation", u"journal", u"page_size", u"num_buffers",
      u"buffer_length", u"debug", u"garbage_collect", u"verify", u"sweep", u"enable_journal",
      u"disable_journal", u"dbkey_scope", u"number_of_users", u"trace", u"no_garbage_collect",
      u"damaged", u"license", u"sys_user_name", u"encrypt_key", u"activate_shadow",
      u"sweep_interval", u"delete_shadow", u"force_write", u"begin_log", u"quit_log",
      u"no_reserve", u"user_name", u"password", u"password_enc", u"sys_user_name_enc",
      u"interp", u"online_dump", u"old_file_size", u"old_num_files", u"old_file_name",
      u"old_start_page", u"old_start_seqno", u"old_start_file", u"drop_walfile",
      u"old_dump_id", u"wal_backup_dir", u"wal_chkptlen", u"wal_numbufs", u"wal_bufsize",
      u"wal_grp_cmt_wait", u"lc_messages", u"lc_ctype", u"cache_manager", u"shutdown",
      u"online", u"shutdown_delay", u"reserved", u"overwrite", u"sec_attach", u"disable_wal",
      u"connect_timeout", u"dummy_packet_interval", u"gbak_attach", u"sql_role_name",
      u"set_page_buffers", u"working_directory", u"sql_dialect", u"set_db_readonly",
      u"set_db_sql_dialect", u"gfix_attach", u"gstat_attach", u"gbak_ods_version",
      u"gbak_ods_minor_version", u"set_group_commit", u"gbak_validate",
      u"client_interbase_var", u"admin_option", u"flush_interval", u"instance_name",
      u"old_overwrite", u"archive_database", u"archive_journals", u"archive_sweep",
      u"archive_dumps", u"archive_recover", u"recover_until", u"force", u"preallocate",
      u"sys_encrypt_password"};
  return names;
}

int DPBConstantCode(StringView name) { return CodeOf(DPBConstantNames(), name); }

TDPBResult BuildDPB(const TStringList& params) {
  TDPBResult result;
  std::string& dpb = result.bytes;
  dpb += static_cast<char>(isc_dpb_version1);
  for (int i = 0; i < params.Count(); ++i) {
    const String& line = params[i];
    size_t eq = line.find(u'=');
    String name_part = eq == String::npos ? String() : line.substr(0, eq);
    if (Trim(name_part).empty()) continue;
    String value = line.substr(eq + 1);
    String name = LowerCase(name_part);
    if (name.starts_with(u"isc_dpb_")) name = name.substr(8);
    int code = DPBConstantCode(name);
    const char c = static_cast<char>(code);
    switch (code) {
      case kUserName: case kPassword: case kPasswordEnc: case kSysUserName: case kLicense:
      case kEncryptKey: case kLcMessages: case kLcCtype: case kSqlRoleName: case kOldFileName:
      case kInstanceName: case kSysEncryptPassword:
        AppendString(dpb, c, value);
        if (code == kLcCtype) {
          result.has_character_set = true;
          result.character_set = value;
        }
        break;
      case kNumBuffers: case kVerify: case kDbkeyScope: case kDamaged: case kForceWrite:
      case kNoReserve: case kOnlineDump: case kOldFileSize: case kOverwrite:
        AppendByte(dpb, c, StrToInt(value));
        break;
      case kSweep:
        AppendByte(dpb, c, 2);
        break;
      case kActivateShadow: case kDeleteShadow: case kBeginLog: case kQuitLog:
        AppendByte(dpb, c, 0);
        break;
      case kSweepInterval: {
        uint32_t v = static_cast<uint32_t>(StrToInt(value));
        dpb += c;
        dpb += '\4';
        for (int b = 0; b < 4; ++b) dpb += static_cast<char>((v >> (8 * b)) & 0xFF);
        break;
      }
      case kSqlDialect: {
        // A single digit becomes its value; an empty value gives an empty
        // cluster, which the server rejects with its own message.
        std::string bytes = StringToAnsi(value);
        if (!bytes.empty()) bytes[0] = static_cast<char>(bytes[0] - 48);
        AppendCluster(dpb, c, bytes);
        break;
      }
      case 0:
        IBError(ibceDPBConstantUnknownEx, {name_part});
      default:
        IBError(ibceDPBConstantNotSupported, {DPBConstantNames()[code - 1]});
    }
  }
  return result;
}

const std::vector<String>& TPBConstantNames() {
  static const std::vector<String> names = {
      u"consistency", u"concurrency", u"shared", u"protected", u"exclusive", u"wait",
      u"nowait", u"read", u"write", u"lock_read", u"lock_write", u"verb_time", u"commit_time",
      u"ignore_limbo", u"read_committed", u"autocommit", u"rec_version", u"no_rec_version",
      u"restart_requests", u"no_auto_undo", u"no_savepoint"};
  return names;
}

std::string BuildTPB(const TStringList& params) {
  std::string tpb;
  if (params.Count() == 0) return tpb;
  tpb += static_cast<char>(isc_tpb_version3);
  const auto& names = TPBConstantNames();
  for (int i = 0; i < params.Count(); ++i) {
    const String& line = params[i];
    if (Trim(line).empty()) continue;
    size_t eq = line.find(u'=');
    String written = eq == String::npos ? line : line.substr(0, eq);
    String value = eq == String::npos ? String() : line.substr(eq + 1);
    String name = LowerCase(written);
    if (name.starts_with(u"isc_tpb_")) name = name.substr(8);
    int code = CodeOf(names, name);
    switch (code) {
      case 0:
        IBError(ibceTPBConstantUnknownEx, {written});
      case isc_tpb_verb_time: case isc_tpb_commit_time: case isc_tpb_autocommit:
        IBError(ibceTPBConstantNotSupported, {names[code - 1]});
      case isc_tpb_lock_read: case isc_tpb_lock_write:
        AppendString(tpb, static_cast<char>(code), value);
        break;
      default:
        tpb += static_cast<char>(code);
    }
  }
  return tpb;
}

}  // namespace kavo
