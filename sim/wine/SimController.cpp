// Plugs, unplugs, configures and reads back simulated programming units under Wine (or Windows):
// each unit is a root-enumerated device node served by the simulated unit's HID minidriver.
//
//   HalvernSimCtl plug [key=value...]        configure and plug a unit (see SimUnitOptions.h);
//                                             the same options again continue the same unit
//                                             (flash, log and counts kept)
//   HalvernSimCtl unplug [vid=.. pid=..]     remove it
//   HalvernSimCtl unplug-all                 remove every simulated device node
//   HalvernSimCtl unplug-at N [vid=.. pid=..] [timeout=ms]
//                                             remove it once it has taken N requests
//   HalvernSimCtl cycles N [await=R] [key=value...]
//                                             unplug and plug a plugged unit N times; with
//                                             await, wait each time for R requests of the host
//   HalvernSimCtl set key=value...           change a plugged unit's configuration, keep its state
//   HalvernSimCtl state [vid=.. pid=..] [log=file] [flash=file]
//                                             print its counters, write its request log and flash
//   HalvernSimCtl probe [count]              list HID interfaces and time count Identify
//                                             exchanges (0: the list only)
//   HalvernSimCtl reference image=file       update the plugged unit with the image as the
//                                             program does, from a minimal client (the
//                                             yardstick for what the HID stack costs)
//   HalvernSimCtl pace [vid=.. pid=..]       each update in the unit's log: lock to unlock and
//                                             the median gap between blocks
//
// Exit code 0 on success, 1 on a failure (with a message on stderr), 2 on bad usage.
#include "sim/SimulatedUnit.h"
#include "sim/wine/SimControl.h"
#include "sim/wine/SimPace.h"
#include "sim/wine/SimUnitOptions.h"
#include "win32/ScopedWin.h"

#include <windows.h>

#include <cfgmgr32.h>
#include <mmsystem.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const GUID hidClassGuid = {
    0x745a17a0, 0x74d3, 0x11d0, {0xb6, 0xfe, 0x00, 0xa0, 0xc9, 0x0f, 0x57, 0xda}};

std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

int Fail(const char* what) {
    std::fprintf(stderr, "HalvernSimCtl: %s failed, error %lu\n", what, GetLastError());
    return 1;
}

std::wstring ProgramDirectory() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, length);
    return directory.substr(0, directory.find_last_of(L"\\/") + 1);
}

// The interface paths of present HID devices with the given vendor and product.
std::vector<std::wstring> FindHidInterfaces(USHORT vendorId, USHORT productId) {
    std::vector<std::wstring> found;
    GUID hidGuid;
    HidD_GetHidGuid(&hidGuid);
    ScopedDevInfoList set(
        SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (set.set == INVALID_HANDLE_VALUE) {
        return found;
    }
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set.set, nullptr, &hidGuid, i, &data); ++i) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(set.set, &data, nullptr, 0, &size, nullptr);
        std::vector<unsigned char> buffer(size + sizeof(wchar_t));
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof *detail;
        if (!SetupDiGetDeviceInterfaceDetailW(set.set, &data, detail, size, nullptr, nullptr)) {
            continue;
        }
        AutoCloseHandle device(CreateFileW(detail->DevicePath, 0,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof attributes;
        if (device.handle != INVALID_HANDLE_VALUE &&
            HidD_GetAttributes(device.handle, &attributes) && attributes.VendorID == vendorId &&
            attributes.ProductID == productId) {
            found.emplace_back(detail->DevicePath);
        }
    }
    return found;
}

bool WaitForInterface(USHORT vendorId, USHORT productId, bool present, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (FindHidInterfaces(vendorId, productId).empty() != present) {
            return true;
        }
        if (GetTickCount() - start > timeoutMs) {
            return false;
        }
        Sleep(10);
    }
}

bool WriteConfig(const std::string& nodeName, const SimUnitConfig& config) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, SIM_CONFIG_KEY_W, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    LONG status = RegSetValueExW(key, Widen(nodeName).c_str(), 0, REG_BINARY,
                                 reinterpret_cast<const BYTE*>(&config), sizeof config);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool ParseOptions(SimUnitConfig& config, int argc, wchar_t** argv, int first,
                  std::vector<std::pair<std::string, std::string>>* extra) {
    for (int i = first; i < argc; ++i) {
        std::wstring wide(argv[i]);
        std::string word(wide.begin(), wide.end());
        std::size_t equals = word.find('=');
        std::string key = word.substr(0, equals);
        if (extra != nullptr && equals != std::string::npos &&
            (key == "log" || key == "flash" || key == "timeout" || key == "await" ||
             key == "image")) {
            extra->emplace_back(key, word.substr(equals + 1));
            continue;
        }
        std::string error = ApplyUnitOption(config, word);
        if (!error.empty()) {
            std::fprintf(stderr, "HalvernSimCtl: %s\n", error.c_str());
            return false;
        }
    }
    return true;
}

int Plug(const SimUnitConfig& config, bool report = true) {
    LARGE_INTEGER start = Now();
    std::string node = UnitNodeName(config);
    if (!WriteConfig(node, config)) {
        return Fail("writing the unit's configuration");
    }
    std::wstring directory = ProgramDirectory();
    std::wstring inf = directory + L"HalvernSim.inf";
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring target = std::wstring(system) + L"\\drivers\\HalvernSim.sys";
    // The running driver keeps its image; a busy copy is fine when it is the same file.
    CopyFileW((directory + L"HalvernSim.sys").c_str(), target.c_str(), FALSE);

    ScopedDevInfoList set(SetupDiCreateDeviceInfoList(&hidClassGuid, nullptr));
    if (set.set == INVALID_HANDLE_VALUE) {
        return Fail("SetupDiCreateDeviceInfoList");
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    std::wstring name = Widen(node);
    if (!SetupDiCreateDeviceInfoW(set.set, name.c_str(), &hidClassGuid, nullptr, nullptr,
                                  DICD_GENERATE_ID, &device)) {
        return Fail("SetupDiCreateDeviceInfoW");
    }
    std::wstring ids = L"ROOT\\" + name + L'\0' + SIM_HARDWARE_ID_W + L'\0' + L'\0';
    if (!SetupDiSetDeviceRegistryPropertyW(set.set, &device, SPDRP_HARDWAREID,
                                           reinterpret_cast<const BYTE*>(ids.data()),
                                           static_cast<DWORD>(ids.size() * sizeof(wchar_t)))) {
        return Fail("setting the hardware ID");
    }
    if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set.set, &device)) {
        return Fail("DIF_REGISTERDEVICE");
    }
    SP_DEVINSTALL_PARAMS_W params{};
    params.cbSize = sizeof params;
    if (!SetupDiGetDeviceInstallParamsW(set.set, &device, &params)) {
        return Fail("SetupDiGetDeviceInstallParamsW");
    }
    wcsncpy(params.DriverPath, inf.c_str(), MAX_PATH - 1);
    params.Flags |= DI_ENUMSINGLEINF;
    if (!SetupDiSetDeviceInstallParamsW(set.set, &device, &params) ||
        !SetupDiBuildDriverInfoList(set.set, &device, SPDIT_COMPATDRIVER) ||
        !SetupDiCallClassInstaller(DIF_SELECTBESTCOMPATDRV, set.set, &device)) {
        return Fail("selecting the driver from HalvernSim.inf");
    }
    if (!SetupDiCallClassInstaller(DIF_INSTALLDEVICE, set.set, &device)) {
        return Fail("DIF_INSTALLDEVICE");
    }
    if (!WaitForInterface(config.vendorId, config.productId, true, 10000)) {
        std::fprintf(stderr, "HalvernSimCtl: %s installed, but no HID interface appeared\n",
                     node.c_str());
        return 1;
    }
    if (report) {
        std::printf("plugged %s in %.1f ms\n", node.c_str(), Milliseconds(start, Now()));
    }
    return 0;
}

struct UnitState;
bool WaitUnitGone(const SimUnitConfig& config, DWORD timeoutMs);

// Removes the simulated device nodes whose first hardware ID is wanted (all of them when wanted
// is empty); returns how many, or -1 on a failure.
int RemoveNodes(const std::wstring& wanted) {
    ScopedDevInfoList set(SetupDiGetClassDevsW(nullptr, L"ROOT", nullptr, DIGCF_ALLCLASSES));
    if (set.set == INVALID_HANDLE_VALUE) {
        Fail("SetupDiGetClassDevsW");
        return -1;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    int removed = 0;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set.set, i, &device); ++i) {
        wchar_t ids[512] = {};
        if (!SetupDiGetDeviceRegistryPropertyW(set.set, &device, SPDRP_HARDWAREID, nullptr,
                                               reinterpret_cast<BYTE*>(ids), sizeof ids - 4,
                                               nullptr)) {
            continue;
        }
        const wchar_t* second = ids + wcslen(ids) + 1;
        bool ours = wcscmp(second, SIM_HARDWARE_ID_W) == 0;
        if (!ours || (!wanted.empty() && _wcsicmp(ids, wanted.c_str()) != 0)) {
            continue;
        }
        if (!SetupDiCallClassInstaller(DIF_REMOVE, set.set, &device)) {
            Fail("DIF_REMOVE");
            return -1;
        }
        ++removed;
    }
    return removed;
}

int UnplugAll() {
    int removed = RemoveNodes(L"");
    if (removed < 0) {
        return 1;
    }
    std::printf("unplugged %d simulated device(s)\n", removed);
    return 0;
}

int Unplug(const SimUnitConfig& config) {
    LARGE_INTEGER start = Now();
    std::wstring wanted = L"ROOT\\" + Widen(UnitNodeName(config));
    int removed = RemoveNodes(wanted);
    if (removed < 0) {
        return 1;
    }

    if (removed == 0) {
        std::fprintf(stderr, "HalvernSimCtl: no device node %ls\n", wanted.c_str());
        return 1;
    }
    if (!WaitForInterface(config.vendorId, config.productId, false, 10000) ||
        !WaitUnitGone(config, 10000)) {
        std::fprintf(stderr, "HalvernSimCtl: removed, but the HID interface is still there\n");
        return 1;
    }
    std::printf("unplugged %ls in %.1f ms\n", wanted.c_str(), Milliseconds(start, Now()));
    return 0;
}

struct UnitState {
    SimSlotInfo info;
    SimUnit unit;
};

bool ReadUnit(const SimUnitConfig& config, UnitState& state) {
    AutoCloseHandle control(CreateFileW(SIM_CONTROL_PATH_W, GENERIC_READ | GENERIC_WRITE, 0,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    if (control.handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    SimSlotQuery query{};
    std::wstring node = Widen(UnitNodeName(config));
    wcsncpy(query.nodeName, node.c_str(), 31);
    std::vector<unsigned char> buffer(sizeof(SimSlotInfo) + sizeof(SimUnit));
    DWORD returned = 0;
    if (!DeviceIoControl(control.handle, IOCTL_SIM_GET_UNIT, &query, sizeof query, buffer.data(),
                         static_cast<DWORD>(buffer.size()), &returned, nullptr) ||
        returned != buffer.size()) {
        return false;
    }
    std::memcpy(&state.info, buffer.data(), sizeof state.info);
    std::memcpy(&state.unit, buffer.data() + sizeof state.info, sizeof state.unit);
    return true;
}

// Waits until the driver has seen the unit's device go (its slot no longer present), so that a
// plug right after finds the slot free and continues the same unit.
bool WaitUnitGone(const SimUnitConfig& config, DWORD timeoutMs) {
    auto state = std::make_unique<UnitState>();
    DWORD start = GetTickCount();
    while (ReadUnit(config, *state) && state->info.present != 0) {
        if (GetTickCount() - start > timeoutMs) {
            return false;
        }
        Sleep(2);
    }
    return true;
}

int SetConfig(const SimUnitConfig& identity, int argc, wchar_t** argv) {
    auto state = std::make_unique<UnitState>();
    if (!ReadUnit(identity, *state)) {
        return Fail("reading the unit");
    }
    SimUnitConfig config = state->unit.config;
    if (!ParseOptions(config, argc, argv, 2, nullptr)) {
        return 2;
    }
    if (config.vendorId != identity.vendorId || config.productId != identity.productId) {
        std::fprintf(stderr, "HalvernSimCtl: vid and pid of a plugged unit cannot change\n");
        return 2;
    }
    AutoCloseHandle control(CreateFileW(SIM_CONTROL_PATH_W, GENERIC_READ | GENERIC_WRITE, 0,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    std::vector<unsigned char> buffer(sizeof(SimSlotQuery) + sizeof config);
    SimSlotQuery query{};
    std::wstring node = Widen(UnitNodeName(config));
    wcsncpy(query.nodeName, node.c_str(), 31);
    std::memcpy(buffer.data(), &query, sizeof query);
    std::memcpy(buffer.data() + sizeof query, &config, sizeof config);
    DWORD returned = 0;
    if (control.handle == INVALID_HANDLE_VALUE ||
        !DeviceIoControl(control.handle, IOCTL_SIM_SET_CONFIG, buffer.data(),
                         static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr)) {
        return Fail("changing the unit's configuration");
    }
    // A later replug of the same node starts with the new configuration too.
    WriteConfig(UnitNodeName(config), config);
    std::printf("configured %s\n", UnitNodeName(config).c_str());
    return 0;
}

int PrintState(const SimUnitConfig& identity,
               const std::vector<std::pair<std::string, std::string>>& extra) {
    auto state = std::make_unique<UnitState>();
    if (!ReadUnit(identity, *state)) {
        return Fail("reading the unit");
    }
    const SimUnit& unit = state->unit;
    std::printf("present=%u\n", state->info.present);
    std::printf("exchanges=%u\n", unit.exchangeCount);
    std::printf("logged=%u\n", unit.logCount);
    std::printf("erased=%u\n", unit.erased ? 1u : 0u);
    std::printf("flashHighWater=%u\n", unit.flashHighWater);
    std::printf("systemLocked=%u\n", unit.systemLocked ? 1u : 0u);
    std::printf("writeProtected=%u\n", unit.writeProtected ? 1u : 0u);
    std::printf("readsTaken=%u\n", state->info.readsTaken);
    std::printf("repliesLost=%u\n", state->info.repliesLost);
    std::printf("writesTaken=%u\n", state->info.writesTaken);
    std::printf("slot=%u\n", state->info.slot);
    std::printf("devicesAdded=%u\n", state->info.devicesAdded);
    for (unsigned command = 0; command < 256; ++command) {
        if (unit.commandCounts[command] != 0) {
            std::printf("command_0x%02X=%u\n", command, unit.commandCounts[command]);
        }
    }
    for (const auto& [key, path] : extra) {
        FILE* file = std::fopen(path.c_str(), key == "flash" ? "wb" : "w");
        if (file == nullptr) {
            std::fprintf(stderr, "HalvernSimCtl: cannot write %s\n", path.c_str());
            return 1;
        }
        if (key == "flash") {
            std::uint32_t length =
                unit.flashHighWater <= SimFlashCapacity ? unit.flashHighWater : SimFlashCapacity;
            std::fwrite(unit.flash, 1, length, file);
        } else if (key == "log") {
            // One request a line: its length as written, then its first bytes in hex.
            std::uint32_t count = unit.logCount < SimLogCapacity ? unit.logCount : SimLogCapacity;
            for (std::uint32_t i = 0; i < count; ++i) {
                const SimRequestRecord& record = unit.log[i];
                std::fprintf(file, "%u", record.length);
                std::uint32_t shown =
                    record.length < SimMaxReportLength ? record.length : SimMaxReportLength;
                for (std::uint32_t b = 0; b < shown; ++b) {
                    std::fprintf(file, " %02X", record.bytes[b]);
                }
                std::fputc('\n', file);
            }
        }
        std::fclose(file);
    }
    return 0;
}

int UnplugAt(const SimUnitConfig& identity, std::uint32_t exchange, DWORD timeoutMs) {
    auto state = std::make_unique<UnitState>();
    DWORD start = GetTickCount();
    for (;;) {
        if (ReadUnit(identity, *state) && state->unit.exchangeCount >= exchange) {
            std::printf("exchange %u reached\n", state->unit.exchangeCount);
            return Unplug(identity);
        }
        if (GetTickCount() - start > timeoutMs) {
            std::fprintf(stderr, "HalvernSimCtl: exchange %u not reached in %lu ms\n", exchange,
                         timeoutMs);
            return 1;
        }
        Sleep(2);
    }
}

// Lists the HID interfaces and times Identify exchanges with the first unit of vendor 0x21B8.
int Probe(int count) {
    GUID hidGuid;
    HidD_GetHidGuid(&hidGuid);
    ScopedDevInfoList set(
        SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    std::wstring unitPath;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set.set, nullptr, &hidGuid, i, &data); ++i) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(set.set, &data, nullptr, 0, &size, nullptr);
        std::vector<unsigned char> buffer(size + sizeof(wchar_t));
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof *detail;
        if (!SetupDiGetDeviceInterfaceDetailW(set.set, &data, detail, size, nullptr, nullptr)) {
            continue;
        }
        AutoCloseHandle device(CreateFileW(detail->DevicePath, GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof attributes;
        HIDP_CAPS caps{};
        PHIDP_PREPARSED_DATA preparsed = nullptr;
        if (device.handle != INVALID_HANDLE_VALUE &&
            HidD_GetAttributes(device.handle, &attributes) &&
            HidD_GetPreparsedData(device.handle, &preparsed)) {
            HidP_GetCaps(preparsed, &caps);
            HidD_FreePreparsedData(preparsed);
        }
        std::printf("%ls vid=0x%04X pid=0x%04X in=%u out=%u\n", detail->DevicePath,
                    attributes.VendorID, attributes.ProductID, caps.InputReportByteLength,
                    caps.OutputReportByteLength);
        if (attributes.VendorID == 0x21B8 && unitPath.empty()) {
            unitPath = detail->DevicePath;
        }
    }
    if (unitPath.empty()) {
        std::fprintf(stderr, "HalvernSimCtl: no unit of vendor 0x21B8\n");
        return 1;
    }
    if (count <= 0) {
        return 0; // the list only
    }
    AutoCloseHandle device(CreateFileW(unitPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       0, nullptr));
    if (device.handle == INVALID_HANDLE_VALUE) {
        return Fail("opening the unit");
    }
    unsigned char request[60] = {0x01, 0x08, 0x00};
    unsigned char reply[60] = {};
    LARGE_INTEGER start = Now();
    for (int i = 0; i < count; ++i) {
        DWORD written = 0, read = 0;
        if (!WriteFile(device.handle, request, sizeof request, &written, nullptr)) {
            return Fail("WriteFile");
        }
        reply[0] = 0x02;
        if (!ReadFile(device.handle, reply, sizeof reply, &read, nullptr)) {
            return Fail("ReadFile");
        }
        if (i == 0) {
            std::printf("written=%lu read=%lu reply:", written, read);
            for (int b = 0; b < 16; ++b) {
                std::printf(" %02X", reply[b]);
            }
            std::printf("\n");
        }
    }
    std::printf("exchanges=%d average=%.3f ms\n", count, Milliseconds(start, Now()) / count);
    return 0;
}

// Unplugs and plugs the unit count times, each time waiting until its HID interface is gone and
// back, as a user pulling and reinserting the cable would.
// With awaited > 0, each plug also waits until the host has sent that many requests to the unit
// (a program identifying it), so that no arrival overtakes the host.
int Cycles(const SimUnitConfig& config, int count, std::uint32_t awaited) {
    LARGE_INTEGER start = Now();
    auto state = std::make_unique<UnitState>();
    for (int i = 0; i < count; ++i) {
        std::uint32_t before = ReadUnit(config, *state) ? state->unit.exchangeCount : 0;
        std::wstring wanted = L"ROOT\\" + Widen(UnitNodeName(config));
        if (RemoveNodes(wanted) <= 0 ||
            !WaitForInterface(config.vendorId, config.productId, false, 10000) ||
            !WaitUnitGone(config, 10000)) {
            std::fprintf(stderr, "HalvernSimCtl: unplug %d of %d failed\n", i + 1, count);
            return 1;
        }
        if (Plug(config, false) != 0) {
            std::fprintf(stderr, "HalvernSimCtl: plug %d of %d failed\n", i + 1, count);
            return 1;
        }
        DWORD waitStart = GetTickCount();
        while (awaited > 0 &&
               !(ReadUnit(config, *state) && state->unit.exchangeCount >= before + awaited)) {
            if (GetTickCount() - waitStart > 10000) {
                std::fprintf(stderr,
                             "HalvernSimCtl: after plug %d the host sent %u of %u requests\n",
                             i + 1, state->unit.exchangeCount - before, awaited);
                return 1;
            }
            Sleep(2);
        }
    }
    std::printf("cycles=%d average=%.1f ms\n", count, Milliseconds(start, Now()) / count);
    return 0;
}

// Prints each update in the unit's log: from its SetSystemLock(on) to its SetSystemLock(off)
// request, as the unit received them, the median gap between two of its blocks, and its phases.
int PrintPace(const SimUnitConfig& identity) {
    auto state = std::make_unique<UnitState>();
    if (!ReadUnit(identity, *state)) {
        return Fail("reading the unit");
    }
    const SimUnit& unit = state->unit;
    const std::uint32_t count = std::min(unit.logCount, SimLogCapacity);
    const std::vector<SimUpdatePace> paces = MeasureUpdatePaces(unit.log, count);
    std::printf("updates=%u\n", static_cast<unsigned>(paces.size()));
    for (std::size_t i = 0; i < paces.size(); ++i) {
        const SimUpdatePace& pace = paces[i];
        const unsigned n = static_cast<unsigned>(i + 1);
        std::printf("update.%u.requests=%u-%u\n", n, pace.firstRequest, pace.lastRequest);
        std::printf("update.%u.blocks=%u\n", n, pace.blocks);
        std::printf("update.%u.lockToUnlockMs=%.3f\n", n,
                    static_cast<double>(pace.lockToUnlockMicroseconds) / 1000.0);
        std::printf("update.%u.medianBlockGapMs=%.3f\n", n,
                    static_cast<double>(pace.medianBlockGapMicroseconds) / 1000.0);
        std::printf("update.%u.phasesMs=%.3f %.3f %.3f %.3f %.3f\n", n,
                    static_cast<double>(pace.lockToEraseMicroseconds) / 1000.0,
                    static_cast<double>(pace.eraseToAddressMicroseconds) / 1000.0,
                    static_cast<double>(pace.addressToFirstBlockMicroseconds) / 1000.0,
                    static_cast<double>(pace.blocksMicroseconds) / 1000.0,
                    static_cast<double>(pace.lastBlockToUnlockMicroseconds) / 1000.0);
    }
    return 0;
}

// --- the reference client --------------------------------------------------------------------

// The update's exchanges with nothing around them: one request written and one reply read per
// command, the program's pauses with Sleep, no window. The read is posted before the request is
// written, as Wine's hidclass.sys can leave a reply in its queue that arrives while a later read
// is being queued.
struct ReferenceLink {
    HANDLE device = INVALID_HANDLE_VALUE;
    HANDLE readDone = nullptr;
    HANDLE writeDone = nullptr;
    DWORD outputLength = 0;
    DWORD inputLength = 0;
    std::vector<unsigned char> request;
    std::vector<unsigned char> reply;
};

constexpr DWORD ReferenceIoBoundMs = 5000;
constexpr DWORD ReferencePauseMs = 20;
constexpr DWORD ReferenceEraseReplyWaitMs = 1000;
constexpr DWORD ReferenceEraseSettleMs = 4000;
constexpr std::uint32_t ReferenceBlockBytes = 48;
constexpr std::uint32_t ReferenceConfirmationCode = 0x6B2D9E47;

void StoreLittle32(unsigned char* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

// Waits for an overlapped request within the bound; past it, cancels it and waits until the
// system no longer uses the buffer.
bool Finish(HANDLE device, OVERLAPPED& overlapped) {
    DWORD transferred = 0;
    if (WaitForSingleObject(overlapped.hEvent, ReferenceIoBoundMs) == WAIT_OBJECT_0) {
        return GetOverlappedResult(device, &overlapped, &transferred, FALSE) != FALSE;
    }
    CancelIoEx(device, &overlapped);
    const bool done = GetOverlappedResult(device, &overlapped, &transferred, TRUE) != FALSE;
    if (!done) {
        SetLastError(ERROR_TIMEOUT);
    }
    return done;
}

// A read or write that completed at once or is under way.
bool Started(BOOL result) {
    return result != FALSE || GetLastError() == ERROR_IO_PENDING;
}

bool Failed(const char* what) {
    Fail(what);
    return false;
}

// Starts a request on a zero-filled buffer: report ID, command, length byte.
unsigned char* BeginReference(ReferenceLink& link, unsigned char command, unsigned char length) {
    std::fill(link.request.begin(), link.request.end(), 0);
    link.request[0] = 0x01;
    link.request[1] = command;
    link.request[2] = length;
    return link.request.data();
}

// One exchange; the reply is good when it names the command and, for the flag commands, echoes
// the flag.
bool ReferenceExchange(ReferenceLink& link, const char* what, DWORD waitBeforeReply = 0) {
    const unsigned char command = link.request[1];
    std::fill(link.reply.begin(), link.reply.end(), 0);
    link.reply[0] = 0x02;
    OVERLAPPED read{};
    read.hEvent = link.readDone;
    if (!Started(ReadFile(link.device, link.reply.data(), link.inputLength, nullptr, &read))) {
        return Failed(what);
    }
    OVERLAPPED write{};
    write.hEvent = link.writeDone;
    if (!Started(WriteFile(link.device, link.request.data(), link.outputLength, nullptr, &write)) ||
        !Finish(link.device, write)) {
        const DWORD error = GetLastError();
        CancelIoEx(link.device, &read);
        DWORD ignored = 0;
        GetOverlappedResult(link.device, &read, &ignored, TRUE);
        SetLastError(error);
        return Failed(what);
    }
    if (waitBeforeReply != 0) {
        Sleep(waitBeforeReply);
    }
    if (!Finish(link.device, read)) {
        return Failed(what);
    }
    const bool flagCommand = command == 0x0B || command == 0x20;
    if (link.reply[1] != command || (flagCommand && link.reply[3] != link.request[3])) {
        std::fprintf(stderr, "HalvernSimCtl: %s refused: reply %02X %02X %02X %02X %02X %02X\n",
                     what, link.reply[0], link.reply[1], link.reply[2], link.reply[3],
                     link.reply[4], link.reply[5]);
        return false;
    }
    return true;
}

bool SendFlag(ReferenceLink& link, unsigned char command, unsigned char flag, const char* what) {
    BeginReference(link, command, 0x01)[3] = flag;
    return ReferenceExchange(link, what);
}

// The first present HID interface of vendor 0x21B8 with product 1 or 2, opened as the program
// opens it, with its report lengths.
bool OpenReferenceLink(ReferenceLink& link, AutoCloseHandle& device) {
    std::vector<std::wstring> paths = FindHidInterfaces(0x21B8, 1);
    const std::vector<std::wstring> merrowin = FindHidInterfaces(0x21B8, 2);
    paths.insert(paths.end(), merrowin.begin(), merrowin.end());
    if (paths.empty()) {
        std::fprintf(stderr, "HalvernSimCtl: no programming unit plugged\n");
        return false;
    }
    device.handle = CreateFileW(paths.front().c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (device.handle == INVALID_HANDLE_VALUE) {
        return Failed("opening the unit");
    }
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    HIDP_CAPS caps{};
    if (!HidD_GetPreparsedData(device.handle, &preparsed)) {
        return Failed("HidD_GetPreparsedData");
    }
    const NTSTATUS status = HidP_GetCaps(preparsed, &caps);
    HidD_FreePreparsedData(preparsed);
    if (status != HIDP_STATUS_SUCCESS || caps.OutputReportByteLength < 60 ||
        caps.InputReportByteLength < 44) {
        std::fprintf(stderr, "HalvernSimCtl: unit with report lengths in=%u out=%u\n",
                     caps.InputReportByteLength, caps.OutputReportByteLength);
        return false;
    }
    link.device = device.handle;
    link.outputLength = caps.OutputReportByteLength;
    link.inputLength = caps.InputReportByteLength;
    link.request.assign(std::max<DWORD>(60, link.outputLength), 0);
    link.reply.assign(std::max<DWORD>(60, link.inputLength), 0);
    return true;
}

// The update from the lock to its release: the same requests, bytes and pauses as the program's.
bool ReferenceUpdate(ReferenceLink& link, const std::vector<unsigned char>& image) {
    if (!SendFlag(link, 0x0B, 1, "SetSystemLock(on)")) {
        return false;
    }
    Sleep(ReferencePauseMs);
    if (!SendFlag(link, 0x20, 0, "SetWriteProtection(off)")) {
        return false;
    }
    Sleep(ReferencePauseMs);
    StoreLittle32(BeginReference(link, 0x1E, 0x04) + 4, ReferenceConfirmationCode);
    const bool erased = ReferenceExchange(link, "EraseFirmware", ReferenceEraseReplyWaitMs);
    Sleep(ReferenceEraseSettleMs);
    if (!erased) {
        return false;
    }
    Sleep(ReferencePauseMs);
    unsigned char* address = BeginReference(link, 0x1F, 0x09);
    address[3] = 0x01;
    StoreLittle32(address + 8, ReferenceConfirmationCode);
    if (!ReferenceExchange(link, "SetWriteAddress")) {
        return false;
    }
    Sleep(ReferencePauseMs);
    // Whole blocks straight from the image; a short last one padded with 0xFF to its last word.
    for (std::size_t offset = 0; offset < image.size(); offset += ReferenceBlockBytes) {
        unsigned char block[ReferenceBlockBytes];
        std::fill(block, block + sizeof block, 0xFF);
        const std::size_t bytes = std::min<std::size_t>(ReferenceBlockBytes, image.size() - offset);
        std::memcpy(block, image.data() + offset, bytes);
        const std::size_t words = (bytes + 3) / 4;
        std::memcpy(BeginReference(link, 0x1B, static_cast<unsigned char>(4 * words)) + 4, block,
                    4 * words);
        if (!ReferenceExchange(link, "WriteBlock")) {
            return false;
        }
        Sleep(ReferencePauseMs);
    }
    return SendFlag(link, 0x20, 1, "SetWriteProtection(on)") &&
           SendFlag(link, 0x0B, 0, "SetSystemLock(off)");
}

int Reference(const std::string& imagePath) {
    std::vector<unsigned char> image;
    if (FILE* file = std::fopen(imagePath.c_str(), "rb")) {
        unsigned char chunk[4096];
        for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) != 0;) {
            image.insert(image.end(), chunk, chunk + got);
        }
        std::fclose(file);
    }
    if (image.empty()) {
        std::fprintf(stderr, "HalvernSimCtl: no image in %s\n", imagePath.c_str());
        return 2;
    }
    ReferenceLink link;
    AutoCloseHandle device(INVALID_HANDLE_VALUE);
    if (!OpenReferenceLink(link, device)) {
        return 1;
    }
    AutoCloseHandle readDone(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    AutoCloseHandle writeDone(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (readDone.handle == nullptr || writeDone.handle == nullptr) {
        return Fail("CreateEventW");
    }
    link.readDone = readDone.handle;
    link.writeDone = writeDone.handle;
    // The program's pauses: Sleep with the timer resolution raised to 1 ms.
    const bool precise = timeBeginPeriod(1) == TIMERR_NOERROR;
    const LARGE_INTEGER start = Now();
    const bool done = ReferenceUpdate(link, image);
    const LARGE_INTEGER end = Now();
    if (precise) {
        timeEndPeriod(1);
    }
    std::printf("blocks=%u\n", static_cast<unsigned>((image.size() + ReferenceBlockBytes - 1) /
                                                     ReferenceBlockBytes));
    std::printf("clientMs=%.3f\n", Milliseconds(start, end));
    std::printf("completed=%d\n", done ? 1 : 0);
    return done ? 0 : 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: HalvernSimCtl plug|unplug|unplug-at N|set|state|probe|reference|pace "
                 "[...]\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return Usage();
    }
    std::wstring command(argv[1]);
    auto config = std::make_unique<SimUnitConfig>();
    std::vector<std::pair<std::string, std::string>> extra;
    if (command == L"unplug-all") {
        return UnplugAll();
    }
    if (command == L"probe") {
        return Probe(argc > 2 ? _wtoi(argv[2]) : 1);
    }
    if (command == L"set") {
        SimUnitConfig identity;
        for (int i = 2; i < argc; ++i) {
            std::wstring word(argv[i]);
            std::string narrow(word.begin(), word.end());
            if (narrow.rfind("vid=", 0) == 0 || narrow.rfind("pid=", 0) == 0) {
                ApplyUnitOption(identity, narrow);
            }
        }
        return SetConfig(identity, argc, argv);
    }
    if (command == L"unplug-at") {
        if (argc < 3) {
            return Usage();
        }
        if (!ParseOptions(*config, argc, argv, 3, &extra)) {
            return 2;
        }
        DWORD timeout = 60000;
        for (const auto& [key, value] : extra) {
            if (key == "timeout") {
                timeout = static_cast<DWORD>(std::stoul(value));
            }
        }
        return UnplugAt(*config, static_cast<std::uint32_t>(_wtoi(argv[2])), timeout);
    }
    if (command == L"cycles") {
        if (argc < 3 || !ParseOptions(*config, argc, argv, 3, &extra)) {
            return Usage();
        }
        std::uint32_t awaited = 0;
        for (const auto& [key, value] : extra) {
            if (key == "await") {
                awaited = static_cast<std::uint32_t>(std::stoul(value));
            }
        }
        return Cycles(*config, _wtoi(argv[2]), awaited);
    }
    if (!ParseOptions(*config, argc, argv, 2, &extra)) {
        return 2;
    }
    if (command == L"plug") {
        return Plug(*config);
    }
    if (command == L"unplug") {
        return Unplug(*config);
    }
    if (command == L"state") {
        return PrintState(*config, extra);
    }
    if (command == L"pace") {
        return PrintPace(*config);
    }
    if (command == L"reference") {
        for (const auto& [key, value] : extra) {
            if (key == "image") {
                return Reference(value);
            }
        }
        return Usage();
    }
    return Usage();
}
