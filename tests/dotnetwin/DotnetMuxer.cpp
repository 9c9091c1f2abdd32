// A minimal dotnet.exe for Windows test runs: it starts a framework-dependent
// app (`dotnet.exe App.dll args...`) through the hostfxr.dll of the .NET
// installation it sits in, the way the SDK's muxer does. The Windows build's
// end-to-end tests run it under Wine with a runtime laid out from NuGet's
// runtime pack (scripts/dotnet-windows-layout), so the real C# script host runs
// without a Windows SDK install.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

using StartupInfoMain = int(__cdecl*)(int argc, const wchar_t** argv, const wchar_t* hostPath,
                                      const wchar_t* dotnetRoot, const wchar_t* appPath);

void Complain(const std::wstring& message) {
    const std::wstring line = L"dotnet.exe: " + message + L"\n";
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(), bytes, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

std::wstring OwnPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// Versions compare number by number ("8.0.10" is newer than "8.0.9"); a
// pre-release suffix is ignored, which is enough for one pack per folder.
bool NewerVersion(const std::wstring& a, const std::wstring& b) {
    const wchar_t* pa = a.c_str();
    const wchar_t* pb = b.c_str();
    while (*pa != L'\0' || *pb != L'\0') {
        wchar_t* endA = nullptr;
        wchar_t* endB = nullptr;
        const unsigned long na = std::wcstoul(pa, &endA, 10);
        const unsigned long nb = std::wcstoul(pb, &endB, 10);
        if (na != nb) return na > nb;
        pa = endA;
        pb = endB;
        if (*pa == L'.') ++pa; else if (*pa != L'\0') break;
        if (*pb == L'.') ++pb; else if (*pb != L'\0') break;
    }
    return false;
}

// host\fxr\<newest version>\hostfxr.dll below the installation root.
std::wstring FindHostFxr(const std::wstring& root) {
    const std::wstring fxrFolder = root + L"\\host\\fxr\\";
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((fxrFolder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return {};
    std::wstring best;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || found.cFileName[0] == L'.') continue;
        const std::wstring candidate = fxrFolder + found.cFileName + L"\\hostfxr.dll";
        if (GetFileAttributesW(candidate.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        if (best.empty() || NewerVersion(found.cFileName, best)) best = found.cFileName;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return best.empty() ? std::wstring{} : fxrFolder + best + L"\\hostfxr.dll";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring hostPath = OwnPath();
    const std::size_t slash = hostPath.find_last_of(L"\\/");
    if (hostPath.empty() || slash == std::wstring::npos) {
        Complain(L"cannot tell where this program lies");
        return 0x80008085;  // the muxer's "could not find hostfxr" code
    }
    const std::wstring root = hostPath.substr(0, slash);
    const std::wstring hostFxr = FindHostFxr(root);
    if (hostFxr.empty()) {
        Complain(L"no host\\fxr\\<version>\\hostfxr.dll below " + root);
        return 0x80008083;
    }
    const HMODULE library = LoadLibraryExW(hostFxr.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == nullptr) {
        Complain(L"could not load " + hostFxr + L" (error " + std::to_wstring(GetLastError()) + L")");
        return 0x80008082;
    }
    const auto startupMain = reinterpret_cast<StartupInfoMain>(
        reinterpret_cast<void*>(GetProcAddress(library, "hostfxr_main_startupinfo")));
    if (startupMain == nullptr) {
        Complain(hostFxr + L" has no hostfxr_main_startupinfo");
        return 0x80008082;
    }
    std::vector<const wchar_t*> arguments(argv, argv + argc);
    // The app path names what an app host would run (<root>\dotnet.dll, which
    // does not exist), so hostfxr runs as the muxer and takes the app from the
    // command line (argv[1]). Given this program's own path, it would take it
    // for the app host of a self-contained app.
    const std::wstring appPath = root + L"\\dotnet.dll";
    return startupMain(argc, arguments.data(), hostPath.c_str(), root.c_str(), appPath.c_str());
}
