// The process-wide current table.
#include "records/records.h"

namespace records {
namespace {
TableView* g_current = nullptr;
}  // namespace

TableView* CurrentTable() { return g_current; }
void SetCurrentTable(TableView* table) { g_current = table; }

}  // namespace records
