// Hungarian text utilities: short strings, the character tables between code
// page 852, Windows-1250 and the legacy Hungarian DOS encoding, casing and
// accent folding, trimming and padding, the picture number formatter and
// numbers written out in words.
//
// Texts are code page 852 bytes in a std::string unless a function says
// otherwise. Every function that yields a short string cuts its result to
// 255 bytes through Short(); the two "dynamic" conversions (OemToAnsiText,
// AnsiToOemText) keep any length.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace text {

// ---- Short strings --------------------------------------------------------

inline constexpr std::size_t kShortMax = 255;

// The one place where a text becomes a short string: cut to 255 bytes.
std::string Short(std::string s);

// ---- Conversions by table -------------------------------------------------
//
// A character found in a table's From list becomes the To byte of its FIRST
// position there; any other character stays. The string forms convert every
// character and keep the length.

// Legacy DOS encoding -> code page 852, for the 18 Hungarian vowels.
char LegacyToCp852(char c);
std::string LegacyToCp852(std::string_view s);
// Code page 852 -> legacy DOS encoding, for the 18 Hungarian vowels.
char Cp852ToLegacyFull(char c);
std::string Cp852ToLegacyFull(std::string_view s);
// Legacy DOS encoding -> what plain code page 437 can show (double accents
// lost, Ó Ő Ú Ű become ó Ö ú Ü).
char LegacyToPlain437(char c);
std::string LegacyToPlain437(std::string_view s);
// Double-line and mixed box characters of code page 437 -> single-line ones.
// Meant for code page 437 box art: in code page 852 some of them are letters.
char SingleLineBoxes(char c);
std::string SingleLineBoxes(std::string_view s);
// The 28 Hungarian vowels (plain ones included) between code page 852 and
// Windows-1250: toWindows true converts 852 -> 1250, false 1250 -> 852.
char Win1250Text(char c, bool toWindows);
std::string Win1250Text(std::string_view s, bool toWindows);
// The same between the legacy DOS encoding and Windows-1250.
char LegacyWin1250Text(char c, bool toWindows);
std::string LegacyWin1250Text(std::string_view s, bool toWindows);
// Code page 852 -> legacy DOS encoding for ő ű Á Í Ó Ő Ú Ű only.
char Cp852ToLegacy(char c);
std::string Cp852ToLegacy(std::string_view s);
// Legacy DOS encoding -> code page 852 for ő ű Á only.
char LegacyToCp852Short(char c);
std::string LegacyToCp852Short(std::string_view s);

// ---- Casing and folding ---------------------------------------------------

// Character-set selectors of UpCaseChar; any other byte means plain ASCII.
inline constexpr char kLegacySet = '1';
inline constexpr char kCp852Set = '2';

// Upper-cases one character: the nine Hungarian small vowels of the selected
// character set become their capitals; everything else by the ASCII rule.
char UpCaseChar(char c, char selector);
// Upper-cases and drops accents for searching and sorting: each of the 33
// accented letters becomes a plain capital (Ű becomes "O"), every other
// character is upper-cased by the ASCII rule.
std::string FoldUpper(std::string_view s);

// Hungarian upper- and lower-casing of code page 852 text, as the Windows
// ANSI casing does it: every letter with a counterpart in both code pages
// changes, everything else stays; the length is kept.
std::string UpperCaseText(std::string_view s);
std::string LowerCaseText(std::string_view s);
// Code page 852 -> Windows-1250, any length. Legacy ő ű Á are repaired first;
// single-line box characters become "|", "-" and "+", and the four corners
// become "×".
std::string OemToAnsiText(std::string_view s);
// Windows-1250 -> code page 852, any length.
std::string AnsiToOemText(std::string_view s);

// ---- Numbers read from text -----------------------------------------------

// Reads a decimal number written the way the suite's files and settings
// write one: an optional sign, digits with an optional "." fraction (at
// least one digit in all), an optional exponent "E[+|-]digits" (either
// letter case); blanks before and after are allowed. Anything else (an
// empty text, a ",", a second sign or point included) is not a number:
// nullopt.
std::optional<long double> ReadNumber(std::string_view s);
// ReadNumber's value, or 0 when the text is not a number.
long double StrToNumber(std::string_view s);

// ---- Trimming, filling, centring ------------------------------------------

// Removes trailing blanks (0x20) only.
std::string TrimRight(std::string_view s);
// Trims a field text by its field type: "C" and "D" lose trailing blanks and
// NULs, "N" trailing "0"s and NULs ("12.500" -> "12.5", "100" -> "1"), "S"
// becomes empty when the text reads as the number 0 (a text that is not a
// number is kept); other types are unchanged.
std::string TrimByType(std::string_view s, char fieldType);
// n copies of ch; n < 0 gives "", n > 255 is cut to 255.
std::string Replicate(char ch, int n);
// Exactly width characters: s cut to width or padded on the right with ch;
// width < 1 gives "".
std::string PadRight(std::string_view s, int width, char ch);
// Removes trailing, then leading blanks.
std::string Trim(std::string_view s);
// Removes trailing blanks, then centres in width blanks: (width - length)
// div 2 blanks before, the rest after. A text as wide as width or wider
// comes back without its trailing blanks only.
std::string Center(std::string_view s, int width);
// A text shorter than width (and not 255 long) is copied into width copies
// of ch from position (width - length) div 2 + 1; otherwise it comes back
// unchanged. The result is cut to 255 like every short string.
std::string CenterIn(std::string_view s, int width, char ch);

// A heap copy of a short string: a block of length + 1 bytes holding the
// length byte and the bytes (the text is cut to 255 first). Release it with
// Disposestring, which ignores a null pointer.
unsigned char* Stringtoheap(std::string_view s);
void Disposestring(unsigned char* p);

// ---- Picture formatting ---------------------------------------------------
//
// FormatPicture writes value by a picture:
//  - "#" is a digit position shown blank where the number has no digit, "@"
//    one shown "0" there; the whole part fills the positions before the
//    decimal point from the right (a zero whole part shows one "0").
//  - Only the picture's last separator ("," "." or ":") can be the decimal
//    point, and only when digit positions follow it; the digit positions
//    after it are the decimals and the value is rounded to them, half away
//    from zero, as the shortest decimal that reads back as the value (as a
//    double when it is one: 1.005 rounds to 1.01). Every earlier separator
//    groups digits. A separator with no digit position after it is dropped.
//  - A separator whose left neighbour is shown blank is shown blank.
//  - The first "+" or "-" is the sign's place: "-" for a negative value,
//    otherwise "+" if the place is a "+", else blank. A negative value in a
//    picture without one takes the first position as its sign place (that
//    position holds no digit). The sign moves right over blank digit
//    positions and blank separators, so it stands just before the number.
//    A value that rounds to zero is not negative.
//  - Other characters are copied.
//  - A whole part with more digits than its positions is written whole:
//    sign ("-", or "+" for a "+" picture), digits, decimal point and
//    decimals, right-aligned in the picture's width (so wider than it); so
//    are "NAN", "INF" and "-INF". When even that does not fit in 255
//    characters the result is the picture's width of "*".
// "###.###.###." shows 1234567 as "  1.234.567"; "@@" shows 5 as "05".
std::string FormatPicture(std::string_view picture, long double value);

// ---- Numbers in words -----------------------------------------------------
//
// Whole numbers up to 999 999 999 999 written as one Hungarian word ("egy"
// before "ezer", "millió", "milliárd", 2 always "kettö", a hyphen before the
// last three digits above 2000).

// The words of a digit string (leading blanks and zeros skipped; "nulla" when
// nothing remains); value serves only the "above 2000" test of the hyphen.
// More than 12 significant digits are beyond the group words: "".
std::string DigitsToWords(std::string_view digits, long double value);
// The whole part of |value| in words, the first character upper-cased by the
// ASCII rule, "MINUSZ " in front of a negative value ("-0.5" gives
// "MINUSZ Nulla").
std::string NumberWords(long double value);
// An amount in forints: the value is rounded to hundredths first, then its
// whole part is written in words followed by " Ft", and non-zero hundredths
// follow after a blank in words with " Fillér" ("Egyezer Ft ötven Fillér");
// the first character upper-cased by the ASCII rule, "MINUSZ " in front of a
// negative value.
//
// Beyond the words (NumberWords and AmountWords alike): a whole part from
// 10^12 up to below 10^18 is written in figures instead ("1000000000000 Ft");
// from 10^18 up, and for a value that is not a number or infinite, the
// result is "", never a wrong figure.
std::string AmountWords(long double value);

}  // namespace text
