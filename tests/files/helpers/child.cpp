// A stand-in for the programs that the files tests start; copies of it
// under other names play every part.
//
// It appends one line to "ran.txt" in the current folder: the name of its
// own file in lower case, then argument 0 and every further argument, all
// separated by "|". An argument "exit=N" makes N its exit code, and
// "print=TEXT" writes TEXT to standard output.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

std::string OwnFileName(const char* arg0) {
  std::string path = arg0;
#ifdef _WIN32
  char module[MAX_PATH + 1] = {};
  path.assign(module, GetModuleFileNameA(nullptr, module, MAX_PATH));
#endif
  std::size_t cut = path.find_last_of("\\/");
  std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

}  // namespace

int main(int argc, char** argv) {
  std::string line = OwnFileName(argc > 0 ? argv[0] : "");
  int code = 0;
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    line += "|" + arg;
    if (arg.rfind("exit=", 0) == 0) code = std::atoi(arg.c_str() + 5);
    if (arg.rfind("print=", 0) == 0) std::printf("%s\n", arg.c_str() + 6);
  }
  if (std::FILE* log = std::fopen("ran.txt", "a")) {
    std::fprintf(log, "%s\n", line.c_str());
    std::fclose(log);
  }
  std::fflush(stdout);
  return code;
}
