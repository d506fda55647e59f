// The registry commands: CreateRegValSz, CreateRegValDW, DeleteRegKey and
// DeleteRegVal.
//
// Arguments: root ("CU"/"HKEY_CURRENT_USER", "LM"/"HKEY_LOCAL_MACHINE",
// "CR"/"HKEY_CLASSES_ROOT", any letter case), subkey path, then the command's
// own arguments, and last an optional view: "x64" (any case) selects the
// 64-bit view on a 64-bit system; otherwise the engine's default view is used.
// With "#REALUSER#" 1 the work runs as the desktop user, and "CU" is that
// user's hive.
//
// Results: 3 when arguments are missing (nothing sent or touched); the
// command's own code (11, 12, 21, 22) for an unknown root; CreateRegValSz and
// CreateRegValDW also give 11 and 12 when the key cannot be created or the
// value cannot be written; DeleteRegKey gives 21 for an empty subkey path or
// one with an empty segment (it would name a whole root or a parent key).
// Deletions of keys and values that do not exist, or cannot be deleted, give 0.
#ifndef COMMANDS_REGISTRY_COMMANDS_H_
#define COMMANDS_REGISTRY_COMMANDS_H_

namespace engine {

// root, subkey path, value name, string data [, view]. Writes REG_SZ.
int CommandCreateRegValSz(const char* args, const char* line_end);
// root, subkey path, value name, number [, view]. Writes REG_DWORD; the
// number is read as strtoul base 10 ("0x10" gives 0, "12abc" gives 12).
int CommandCreateRegValDW(const char* args, const char* line_end);
// root, subkey path [, view]. Removes the key with its whole tree.
int CommandDeleteRegKey(const char* args, const char* line_end);
// root, subkey path, value name [, view].
int CommandDeleteRegVal(const char* args, const char* line_end);

}  // namespace engine

#endif  // COMMANDS_REGISTRY_COMMANDS_H_
