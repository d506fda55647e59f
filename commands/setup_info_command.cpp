#include "commands/setup_info_command.h"

#include <windows.h>
#include <zlib.h>

#include <cstring>

#include "engine/fixed_string.h"
#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "engine/script_parser.h"
#include "engine/variables.h"
#include "platform/setup_info_record.h"
#include "platform/system_queries.h"

namespace engine {

namespace {

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One "%hd" conversion: blanks, an optional sign, at least one digit. The
// value wraps to 16 bits as the conversion stores it. False, cursor
// unchanged, when no digit follows.
bool ReadShort(const char** cursor, int16_t* value) {
  const char* p = *cursor;
  while (IsBlank(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  if (*p < '0' || *p > '9') return false;
  uint16_t number = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    number = static_cast<uint16_t>(number * 10u + static_cast<unsigned>(*p - '0'));
  }
  if (negative) number = static_cast<uint16_t>(0u - number);
  *value = static_cast<int16_t>(number);
  *cursor = p;
  return true;
}

// Stores a variable's numeric value cut to 16 bits: undefined (-1) gives
// 0xFFFF.
void StoreFlag(uint8_t* record, size_t offset, const char* variable) {
  const int value = GetVariableNumber(variable);
  setup_info::WriteInt16(record, offset,
                         static_cast<int16_t>(static_cast<uint16_t>(static_cast<unsigned>(value))));
}

// Stores a variable's text, cut to 259 characters so that the field keeps its
// terminating zero; the rest of the field stays zero.
void StoreText(uint8_t* record, size_t offset, const char* variable) {
  setup_info::WriteText(record, offset, GetVariableText(variable));
}

void BuildRecord(const char* product, const char* version, uint8_t* record) {
  memset(record, 0, setup_info::kRecordSize);
  setup_info::WriteInt16(record, setup_info::kFormatOffset, setup_info::kFormat);
  const uint32_t checksum = static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(product), static_cast<uInt>(strlen(product))));
  setup_info::WriteUint32(record, setup_info::kChecksumOffset, checksum);
  int16_t major = 0;
  int16_t minor = 0;
  ParseVersionText(version, &major, &minor);
  setup_info::WriteInt16(record, setup_info::kMajorVersionOffset, major);
  setup_info::WriteInt16(record, setup_info::kMinorVersionOffset, minor);
  StoreFlag(record, setup_info::kForWhomOffset, "#FORWHO#");
  StoreFlag(record, setup_info::kLocationOffset, "#CUSTOMLOC#");
  StoreFlag(record, setup_info::kIndividualOffset, "#INDIVIDUAL#");
  StoreText(record, setup_info::kInstallPathOffset, "#INSTALLPATH#");
  StoreText(record, setup_info::kCustomPathOffset, "#CUSTOMPATH#");
  StoreText(record, setup_info::kVersionUrlOffset, "#VERURL#");
  StoreText(record, setup_info::kDownloadUrlOffset, "#DLDURL#");
  // The option fields stay zero: the finish page sets them.
}

}  // namespace

void ParseVersionText(const char* text, int16_t* major, int16_t* minor) {
  *major = 0;
  *minor = 0;
  const char* cursor = text;
  if (!ReadShort(&cursor, major)) return;
  if (*cursor != '.') return;
  ++cursor;
  ReadShort(&cursor, minor);
}

int CommandCreateSetupInfo(const char* args, const char* line_end) {
  if (GetArguments(2, args, line_end) < 2) return kResultMissingArguments;
  uint8_t record[setup_info::kRecordSize];
  BuildRecord(Argument(0), Argument(1), record);
  // A failure is not reported: the record is then absent for later readers.
  // The key lies in the engine's default view, the view every reader of the
  // record (start-up, the wizard, the installed product) uses.
  platform::WriteSetupInfo(Argument(0), record);

  // The configuration folder of the script's program, normally the product
  // just stored. Empty when its record cannot be read or names no folder.
  char config_path[kPathSize] = "";
  char program[kVariableValueSize] = "";
  FindVariable("#PROGRAM#", program, sizeof(program));
  platform::GetConfigPath(program, config_path);
  SetVariable("#CONFIGPATH#", config_path);
  return kResultSuccess;
}

}  // namespace engine
