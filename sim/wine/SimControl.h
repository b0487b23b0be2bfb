#pragma once
/* The control channel of the simulated unit driver, shared by the driver (C) and the controller
 * (C++). The controller configures a unit before plugging it through a registry value, and reads
 * back its state (request log, flash) or changes its configuration while it runs through private
 * IOCTLs on a control device of the driver. */

/* HKEY_LOCAL_MACHINE\<SimConfigKey>, one REG_BINARY value per device node name
 * ("VID_21B8&PID_0001"), holding a SimUnitConfig. */
#define SIM_CONFIG_KEY_W L"Software\\HalvernSim"
#define SIM_CONFIG_KEY_NT L"\\Registry\\Machine\\Software\\HalvernSim"

#define SIM_CONTROL_DEVICE_NT L"\\Device\\HalvernSimControl"
#define SIM_CONTROL_LINK_NT L"\\DosDevices\\HalvernSimControl"
#define SIM_CONTROL_PATH_W L"\\\\.\\HalvernSimControl"

/* Hardware ID every simulated device carries besides its own; the .inf matches it. */
#define SIM_HARDWARE_ID_W L"HalvernSimUnit"
#define SIM_SERVICE_NAME_W L"HalvernSim"

#define SIM_SLOT_COUNT 4

/* METHOD_BUFFERED, FILE_ANY_ACCESS, device type FILE_DEVICE_UNKNOWN (0x22). */
#define SIM_CTL_CODE(function) ((0x22u << 16) | (0x800u + (function)) << 2)
/* In: SimSlotQuery. Out: SimSlotInfo followed by the slot's SimUnit. */
#define IOCTL_SIM_GET_UNIT SIM_CTL_CODE(1)
/* In: SimSlotQuery followed by a SimUnitConfig: replaces the configuration of a live unit
 * without resetting its state. */
#define IOCTL_SIM_SET_CONFIG SIM_CTL_CODE(2)

/* Selects the newest slot that was given to a device node of this name. */
struct SimSlotQuery {
    wchar_t nodeName[32];
};

struct SimSlotInfo {
    unsigned int present;    /* 1 while the device is plugged */
    unsigned int readsTaken; /* input reports delivered to the HID class driver */
    unsigned int repliesLost;
    unsigned int slot;
    unsigned int devicesAdded; /* by this driver since it was loaded */
    unsigned int writesTaken;  /* output reports taken by this slot */
};
