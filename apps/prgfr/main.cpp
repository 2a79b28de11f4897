// prgfr: the updater of the invoicing suite. Started from the suite's
// program folder, it asks whether the update may start and then downloads,
// unpacks and hands over to the installer (updater::RunUpdater). Its own
// file name names the customer: prgfrMINTA.exe (on POSIX also a copy or a
// link named prgfrMINTA) takes its update from the server folder ugy/MINTA.
// Exit code 0 when the installer ran and succeeded or the user declined;
// each kind of failure has a code of its own (updater::kExit..., README.md).
#include "platform/sysinfo.h"
#include "startup/startup.h"
#include "updater/updater.h"

int main(int argc, char** argv) {
  platform::SetProgramArgs(argc, argv);
  int code = updater::kExitDone;
  int end = startup::RunMainFlow([&] { code = updater::RunUpdater(); }, updater::LoadUpdateSettings);
  return end != 0 ? end : code;
}
