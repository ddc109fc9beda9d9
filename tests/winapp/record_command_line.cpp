// Stands in for the program registered to open HTML documents: writes the command line it was
// started with to command_line.txt beside itself, so that a test can read what was run.

#include <windows.h>

#include <cstring>
#include <string>

int main() {
    char path[MAX_PATH] = {};
    std::string file(path, ::GetModuleFileNameA(nullptr, path, MAX_PATH));
    file = file.substr(0, file.find_last_of('\\') + 1) + "command_line.txt";
    const char* commandLine = ::GetCommandLineA();
    const HANDLE out =
        ::CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    ::WriteFile(out, commandLine, static_cast<DWORD>(std::strlen(commandLine)), &put, nullptr);
    ::CloseHandle(out);
    return 0;
}
