#include "ib/ib_character_set.h"

#include "rtl/code_page.h"
#include "rtl/exceptions.h"

namespace kavo {

namespace {

struct Mapping {
  const Char* name;
  int code_page;
  const char* iconv_name;
};

// EUCJ_0208 and GB_2312 carry the code page numbers the connection reports,
// but their text is converted with the encodings the character sets really
// are, so Japanese and Chinese text is not garbled.
const Mapping kMappings[] = {
    {u"UTF8", 65001, "UTF-8"},        {u"UNICODE_FSS", 65001, "UTF-8"},
    {u"SJIS_0208", 932, "CP932"},     {u"WIN1250", 1250, "CP1250"},
    {u"WIN1251", 1251, "CP1251"},     {u"WIN1252", 1252, "CP1252"},
    {u"WIN1253", 1253, "CP1253"},     {u"WIN1254", 1254, "CP1254"},
    {u"ASCII", 20127, "ASCII"},       {u"DOS437", 437, "CP437"},
    {u"DOS850", 850, "CP850"},        {u"DOS852", 852, "CP852"},
    {u"DOS857", 857, "CP857"},        {u"DOS860", 860, "CP860"},
    {u"DOS861", 861, "CP861"},        {u"DOS863", 863, "CP863"},
    {u"DOS865", 865, "CP865"},        {u"EUCJ_0208", 20936, "EUC-JP"},
    {u"ISO8859_1", 28591, "ISO-8859-1"}, {u"GB_2312", 52936, "GB2312"},
    {u"KSC_5601", 949, "CP949"},
};

}  // namespace

TIBCharacterSet CharacterSetFor(const String& name) {
  TIBCharacterSet cs;
  cs.name = name;
  for (const Mapping& m : kMappings) {
    if (name == m.name) {
      cs.code_page = m.code_page;
      cs.iconv_name = m.iconv_name;
      cs.identity_limit = CodePageIdentityLimit(cs.iconv_name);
      return cs;
    }
  }
  cs.code_page = 0;
  cs.iconv_name = AnsiCodePage();
  cs.identity_limit = CodePageIdentityLimit(cs.iconv_name);
  return cs;
}

int FirebirdBytesPerCharacter(int id) {
  switch (id) {
    case 3:  // UNICODE_FSS
      return 3;
    case 4: case 69:  // UTF8, GB18030
      return 4;
    case 5: case 6: case 44: case 56: case 57: case 67: case 68:
      return 2;
    default:
      return 1;
  }
}

int InterBaseBytesPerCharacter(int id, bool system_relation) {
  switch (id) {
    case 5: case 6: case 8: case 44: case 56: case 57: case 64:
      return 2;
    case 59:
      return 4;
    case 3:
      return system_relation ? 1 : 3;
    default:
      return 1;
  }
}

// The code page a character set's text is converted with: its own, or the
// ANSI one for a set the mapping does not know.
static const std::string& CodePageOf(const TIBCharacterSet& cs) {
  return cs.iconv_name.empty() ? AnsiCodePage() : cs.iconv_name;
}

// Text that needs no converter (ASCII in every mapped set, all of Latin-1 in
// ISO8859_1) is copied by the code-page conversion itself.
std::string EncodeText(StringView text, const TIBCharacterSet& cs) {
  std::string out;
  EncodeTextInto(text, cs, out);
  return out;
}

void EncodeOtherTextInto(StringView text, const TIBCharacterSet& cs, std::string& out,
                         bool* lossy) {
  StringToCodePageInto(text, CodePageOf(cs), out, '?', lossy);
}

String CharacterSetLabel(const TIBCharacterSet& cs) {
  if (!cs.iconv_name.empty()) return cs.name;
  return cs.name + u" (" + AsciiToString(AnsiCodePage()) + u")";
}

void EncodeValueInto(StringView text, const TIBCharacterSet& cs, std::string& out,
                     const Char* kind, StringView name) {
  bool lossy = false;
  EncodeTextInto(text, cs, out, &lossy);
  if (lossy)
    throw EConvertError(CannotStoreMessage(String(kind) + u" '" + String(name) + u"'", text,
                                           CharacterSetLabel(cs)));
}

void CheckOtherValueFits(StringView text, const TIBCharacterSet& cs, const Char* kind,
                         StringView name) {
  thread_local std::string scratch;
  EncodeValueInto(text, cs, scratch, kind, name);
}

String DecodeText(std::string_view bytes, const TIBCharacterSet& cs) {
  if (String text; WidenBytesBelow(bytes, cs.identity_limit, text)) return text;
  return CodePageToString(bytes, CodePageOf(cs));
}

}  // namespace kavo
