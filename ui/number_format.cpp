// File sizes as the user writes numbers: decimal digits grouped by three
// with the thousands separator of the user's locale.
//
// The separator is read once and kept: it cannot change during a run that
// the user spends answering our prompts. Sizes are 64-bit, so that an
// existing file of 4 GiB or more shows its real size rather than the low
// 32 bits of it.
#include <windows.h>

#include "ui/prompts.h"

char numberSeparator[2];

void FormatNumber(uint64_t value, char* out) {
  if (numberSeparator[0] == '\0') {
    char separator[100];
    separator[0] = '\0';
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, separator, sizeof(separator));
    numberSeparator[0] = separator[0];
    numberSeparator[1] = '\0';
  }
  // Digits by long division in 16-bit steps: 32-bit arithmetic only, so
  // no 64-bit division helper comes into the program.
  uint32_t parts[4] = {static_cast<uint32_t>(value >> 48) & 0xFFFF, static_cast<uint32_t>(value >> 32) & 0xFFFF,
                       static_cast<uint32_t>(value >> 16) & 0xFFFF, static_cast<uint32_t>(value) & 0xFFFF};
  char digits[24];
  char* first = digits + sizeof(digits) - 1;
  *first = '\0';
  bool more = true;
  while (more) {
    uint32_t remainder = 0;
    more = false;
    for (uint32_t& part : parts) {
      uint32_t current = (remainder << 16) | part;
      part = current / 10;
      remainder = current % 10;
      more = more || part != 0;
    }
    *--first = static_cast<char>('0' + remainder);
  }

  char decimalSeparator[] = ".";
  NUMBERFMTA format;
  format.NumDigits = 0;
  // Without decimals this only keeps a size of 0 from coming out empty.
  format.LeadingZero = 1;
  format.Grouping = 3;
  format.lpDecimalSep = decimalSeparator;
  format.lpThousandSep = numberSeparator;
  format.NegativeOrder = 0;
  out[0] = '\0';
  if (GetNumberFormatA(LOCALE_USER_DEFAULT, 0, first, &format, out, kNumberTextSize) == 0) out[0] = '\0';
}
