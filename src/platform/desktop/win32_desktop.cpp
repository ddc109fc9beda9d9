#include "platform/desktop/desktop.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdint>

namespace quaverly::platform {

namespace {

class Win32Desktop final : public Desktop {
public:
    int OpenTarget(const std::string& target, int showCommand) override {
        const HINSTANCE result =
            ::ShellExecuteA(nullptr, "open", target.c_str(), nullptr, nullptr, showCommand);
        return static_cast<int>(reinterpret_cast<std::intptr_t>(result));
    }

    ClassValue ReadClassDefault(const std::string& key) override {
        HKEY opened = nullptr;
        const LONG status =
            ::RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &opened);
        if (status != ERROR_SUCCESS) {
            return {status, {}};
        }
        // The value takes the room it needs: a command longer than a path is read whole. A
        // value that cannot be read counts as empty; the key did open.
        ClassValue read{ERROR_SUCCESS, {}};
        DWORD type = 0;
        DWORD size = 0;
        if (::RegQueryValueExA(opened, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
            (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0) {
            std::string value(size, '\0');
            if (::RegQueryValueExA(opened, nullptr, nullptr, &type,
                                   reinterpret_cast<BYTE*>(value.data()), &size) == ERROR_SUCCESS) {
                value.resize(std::char_traits<char>::length(value.c_str()));
                read.value = std::move(value);
            }
        }
        ::RegCloseKey(opened);
        return read;
    }

    int RunCommandLine(const std::string& commandLine, int showCommand) override {
        return static_cast<int>(::WinExec(commandLine.c_str(), static_cast<UINT>(showCommand)));
    }
};

} // namespace

Desktop& SystemDesktop() {
    static Win32Desktop desktop;
    return desktop;
}

} // namespace quaverly::platform
