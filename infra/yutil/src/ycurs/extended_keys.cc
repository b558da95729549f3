// SPDX-License-Identifier: MIT
// Keys beyond the twenty of ycurs_fkeys, loaded only on request and never in the
// way of the twenty.
#include <string.h>

#include "ycurs_internal.h"

namespace {

// The entry's sequences of the twenty, "" where it has none or one too long to
// begin a sequence the reader can hold.
using TwentySequences = char[YCURS_FKEY_COUNT][kHeldMax + 1];

void fetch_twenty(TwentySequences &twenty) {
  for (size_t row = 0; row < YCURS_FKEY_COUNT; row++) {
    char buf[kCapAreaSize];
    const char *seq = fetch_term_cap(ycurs_fkeys[row].cap_name, buf);
    size_t len = seq != nullptr ? strlen(seq) : 0;
    if (len > kHeldMax) len = 0;
    if (len != 0) memcpy(twenty[row], seq, len);
    twenty[row][len] = 0;
  }
}

// Stored, such a sequence would take a key of the twenty's code, or make that key
// wait for more bytes, whichever of them was loaded first.
bool begins_with_one_of(const char *seq, const TwentySequences &twenty) {
  for (const char *t : twenty) {
    size_t len = strlen(t);
    if (len != 0 && strncmp(seq, t, len) == 0) return true;
  }
  return false;
}

}  // namespace

extern "C" {

// Codes and names as curses has them; generated once from the capability names
// of libtinfo and the key codes of <curses.h>.
const ycurs_fkey_s ycurs_extended_keys[YCURS_EXTENDED_KEY_COUNT + 1] = {
    {0x156, "ka", "KEY_CATAB"},
    {0x14d, "kC", "KEY_CLEAR"},
    {0x155, "kt", "KEY_CTAB"},
    {0x14a, "kD", "KEY_DC"},
    {0x148, "kL", "KEY_DL"},
    {0x14c, "kM", "KEY_EIC"},
    {0x14f, "kE", "KEY_EOL"},
    {0x14e, "kS", "KEY_EOS"},
    {YCURS_KEY_F(0), "k0", "KEY_F0"},
    {0x14b, "kI", "KEY_IC"},
    {0x149, "kA", "KEY_IL"},
    {0x15b, "kH", "KEY_LL"},
    {0x152, "kN", "KEY_NPAGE"},
    {0x153, "kP", "KEY_PPAGE"},
    {0x150, "kF", "KEY_SF"},
    {0x151, "kR", "KEY_SR"},
    {0x154, "kT", "KEY_STAB"},
    {0x15c, "K1", "KEY_A1"},
    {0x15d, "K3", "KEY_A3"},
    {0x15e, "K2", "KEY_B2"},
    {0x15f, "K4", "KEY_C1"},
    {0x160, "K5", "KEY_C3"},
    {0x161, "kB", "KEY_BTAB"},
    {0x162, "@1", "KEY_BEG"},
    {0x163, "@2", "KEY_CANCEL"},
    {0x164, "@3", "KEY_CLOSE"},
    {0x165, "@4", "KEY_COMMAND"},
    {0x166, "@5", "KEY_COPY"},
    {0x167, "@6", "KEY_CREATE"},
    {0x169, "@9", "KEY_EXIT"},
    {0x16a, "@0", "KEY_FIND"},
    {0x16b, "%1", "KEY_HELP"},
    {0x16c, "%2", "KEY_MARK"},
    {0x16d, "%3", "KEY_MESSAGE"},
    {0x16e, "%4", "KEY_MOVE"},
    {0x16f, "%5", "KEY_NEXT"},
    {0x170, "%6", "KEY_OPEN"},
    {0x171, "%7", "KEY_OPTIONS"},
    {0x172, "%8", "KEY_PREVIOUS"},
    {0x15a, "%9", "KEY_PRINT"},
    {0x173, "%0", "KEY_REDO"},
    {0x174, "&1", "KEY_REFERENCE"},
    {0x175, "&2", "KEY_REFRESH"},
    {0x176, "&3", "KEY_REPLACE"},
    {0x177, "&4", "KEY_RESTART"},
    {0x178, "&5", "KEY_RESUME"},
    {0x179, "&6", "KEY_SAVE"},
    {0x197, "&7", "KEY_SUSPEND"},
    {0x198, "&8", "KEY_UNDO"},
    {0x17a, "&9", "KEY_SBEG"},
    {0x17b, "&0", "KEY_SCANCEL"},
    {0x17c, "*1", "KEY_SCOMMAND"},
    {0x17d, "*2", "KEY_SCOPY"},
    {0x17e, "*3", "KEY_SCREATE"},
    {0x17f, "*4", "KEY_SDC"},
    {0x180, "*5", "KEY_SDL"},
    {0x181, "*6", "KEY_SELECT"},
    {0x182, "*7", "KEY_SEND"},
    {0x183, "*8", "KEY_SEOL"},
    {0x184, "*9", "KEY_SEXIT"},
    {0x185, "*0", "KEY_SFIND"},
    {0x186, "#1", "KEY_SHELP"},
    {0x187, "#2", "KEY_SHOME"},
    {0x188, "#3", "KEY_SIC"},
    {0x189, "#4", "KEY_SLEFT"},
    {0x18a, "%a", "KEY_SMESSAGE"},
    {0x18b, "%b", "KEY_SMOVE"},
    {0x18c, "%c", "KEY_SNEXT"},
    {0x18d, "%d", "KEY_SOPTIONS"},
    {0x18e, "%e", "KEY_SPREVIOUS"},
    {0x18f, "%f", "KEY_SPRINT"},
    {0x190, "%g", "KEY_SREDO"},
    {0x191, "%h", "KEY_SREPLACE"},
    {0x192, "%i", "KEY_SRIGHT"},
    {0x193, "%j", "KEY_SRSUME"},
    {0x194, "!1", "KEY_SSAVE"},
    {0x195, "!2", "KEY_SSUSPEND"},
    {0x196, "!3", "KEY_SUNDO"},
    {YCURS_KEY_F(13), "F3", "KEY_F13"},
    {YCURS_KEY_F(14), "F4", "KEY_F14"},
    {YCURS_KEY_F(15), "F5", "KEY_F15"},
    {YCURS_KEY_F(16), "F6", "KEY_F16"},
    {YCURS_KEY_F(17), "F7", "KEY_F17"},
    {YCURS_KEY_F(18), "F8", "KEY_F18"},
    {YCURS_KEY_F(19), "F9", "KEY_F19"},
    {YCURS_KEY_F(20), "FA", "KEY_F20"},
    {YCURS_KEY_F(21), "FB", "KEY_F21"},
    {YCURS_KEY_F(22), "FC", "KEY_F22"},
    {YCURS_KEY_F(23), "FD", "KEY_F23"},
    {YCURS_KEY_F(24), "FE", "KEY_F24"},
    {YCURS_KEY_F(25), "FF", "KEY_F25"},
    {YCURS_KEY_F(26), "FG", "KEY_F26"},
    {YCURS_KEY_F(27), "FH", "KEY_F27"},
    {YCURS_KEY_F(28), "FI", "KEY_F28"},
    {YCURS_KEY_F(29), "FJ", "KEY_F29"},
    {YCURS_KEY_F(30), "FK", "KEY_F30"},
    {YCURS_KEY_F(31), "FL", "KEY_F31"},
    {YCURS_KEY_F(32), "FM", "KEY_F32"},
    {YCURS_KEY_F(33), "FN", "KEY_F33"},
    {YCURS_KEY_F(34), "FO", "KEY_F34"},
    {YCURS_KEY_F(35), "FP", "KEY_F35"},
    {YCURS_KEY_F(36), "FQ", "KEY_F36"},
    {YCURS_KEY_F(37), "FR", "KEY_F37"},
    {YCURS_KEY_F(38), "FS", "KEY_F38"},
    {YCURS_KEY_F(39), "FT", "KEY_F39"},
    {YCURS_KEY_F(40), "FU", "KEY_F40"},
    {YCURS_KEY_F(41), "FV", "KEY_F41"},
    {YCURS_KEY_F(42), "FW", "KEY_F42"},
    {YCURS_KEY_F(43), "FX", "KEY_F43"},
    {YCURS_KEY_F(44), "FY", "KEY_F44"},
    {YCURS_KEY_F(45), "FZ", "KEY_F45"},
    {YCURS_KEY_F(46), "Fa", "KEY_F46"},
    {YCURS_KEY_F(47), "Fb", "KEY_F47"},
    {YCURS_KEY_F(48), "Fc", "KEY_F48"},
    {YCURS_KEY_F(49), "Fd", "KEY_F49"},
    {YCURS_KEY_F(50), "Fe", "KEY_F50"},
    {YCURS_KEY_F(51), "Ff", "KEY_F51"},
    {YCURS_KEY_F(52), "Fg", "KEY_F52"},
    {YCURS_KEY_F(53), "Fh", "KEY_F53"},
    {YCURS_KEY_F(54), "Fi", "KEY_F54"},
    {YCURS_KEY_F(55), "Fj", "KEY_F55"},
    {YCURS_KEY_F(56), "Fk", "KEY_F56"},
    {YCURS_KEY_F(57), "Fl", "KEY_F57"},
    {YCURS_KEY_F(58), "Fm", "KEY_F58"},
    {YCURS_KEY_F(59), "Fn", "KEY_F59"},
    {YCURS_KEY_F(60), "Fo", "KEY_F60"},
    {YCURS_KEY_F(61), "Fp", "KEY_F61"},
    {YCURS_KEY_F(62), "Fq", "KEY_F62"},
    {YCURS_KEY_F(63), "Fr", "KEY_F63"},
    {0, nullptr, nullptr},
};

int ycurs_keypad_extended(ycurs_ctx_s *ctx) {
  TwentySequences twenty;
  fetch_twenty(twenty);
  for (size_t row = 0; row < YCURS_EXTENDED_KEY_COUNT; row++) {
    const ycurs_fkey_s &key = ycurs_extended_keys[row];
    char buf[kCapAreaSize];
    const char *seq = fetch_term_cap(key.cap_name, buf);
    if (seq == nullptr || strlen(seq) > kHeldMax || begins_with_one_of(seq, twenty)) continue;
    load_key(ctx, key, seq);
  }
  return 0;
}

}  // extern "C"
