// The partner register's table: one record per partner in "PARTNER.dat",
// the index "PARTNER1.idx" by code (no duplicates) and "PARTNER2.idx" by
// name (duplicates), all in the current folder.
//
// Record layout (1-based offsets, RecLen 100): bytes 1..4 are the engine's
// free-chain link, byte 5 its in-use flag, byte 100 the record's lock byte.
//   6..11   code            'C'  6
//  12..41   name            'C' 30
//  42..61   city            'C' 20
//  62..74   tax number      'C' 13  "12345678-1-42"
//  75..86   balance         'N' 12, 2 decimals
//  87..94   last invoice    'C'  8  "YYYYMMDD" shown "YYYY.MM.DD"
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "records/records.h"

namespace partnerek {

inline constexpr int kRecLen = 100;
inline constexpr char kDataFile[] = "PARTNER.dat";

// Field numbers: positions in the table's field list.
enum Field { kCode, kName, kCity, kTaxNumber, kBalance, kLastInvoice, kFieldCount };

// The table definition (lives for the whole program).
const records::TableDef& PartnerTable();

// A filter record that lets every partner through, for the filter form to
// start from: "?" in the text fields, "????????" in the date (a "?" stands
// for any character, also past the text's end; a blank pattern would let
// nothing through), the balance blank (0 matches every value).
std::vector<std::uint8_t> OpenFilter();

// The parameter line of db::RebuildIndex for index number (1-based):
// "PARTNER PARTNER1 100 0 6 6" and "PARTNER PARTNER2 100 1 12 30"; with a
// prefix, the files' names begin with it ("UJ_PARTNER UJ_PARTNER1 ...").
std::string RebuildLine(int index, std::string_view prefix = "");
// The register's files: the data file and the indexes.
std::vector<std::string> RegisterFiles();

}  // namespace partnerek
