#pragma once
/* What a HID minidriver needs from the HID class driver, declared here because MinGW-w64 has no
 * hidport.h and its ddk/hidclass.h carries wrong values for the minidriver IOCTLs. Layouts as
 * documented for the Windows DDK. */
#include <ntddk.h>

#define HID_REVISION 0x00000001

typedef struct _HID_MINIDRIVER_REGISTRATION {
    ULONG Revision;
    PDRIVER_OBJECT DriverObject;
    PUNICODE_STRING RegistryPath;
    ULONG DeviceExtensionSize;
    BOOLEAN DevicesArePolled;
    UCHAR Reserved[3];
} HID_MINIDRIVER_REGISTRATION;

typedef struct _HID_DEVICE_EXTENSION {
    PDEVICE_OBJECT PhysicalDeviceObject;
    PDEVICE_OBJECT NextDeviceObject;
    PVOID MiniDeviceExtension;
} HID_DEVICE_EXTENSION;

typedef struct _HID_DEVICE_ATTRIBUTES {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
    USHORT Reserved[11];
} HID_DEVICE_ATTRIBUTES;

#pragma pack(push, 1)
typedef struct _HID_DESCRIPTOR_DESC_LIST {
    UCHAR bReportType;
    USHORT wReportLength;
} HID_DESCRIPTOR_DESC_LIST;

typedef struct _HID_DESCRIPTOR {
    UCHAR bLength;
    UCHAR bDescriptorType;
    USHORT bcdHID;
    UCHAR bCountry;
    UCHAR bNumDescriptors;
    HID_DESCRIPTOR_DESC_LIST DescriptorList[1];
} HID_DESCRIPTOR;
#pragma pack(pop)

typedef struct _SIM_XFER_PACKET {
    PUCHAR reportBuffer;
    ULONG reportBufferLen;
    UCHAR reportId;
} SIM_XFER_PACKET;

NTSTATUS NTAPI HidRegisterMinidriver(HID_MINIDRIVER_REGISTRATION* registration);

#define SIM_HID_CTL_CODE(id) CTL_CODE(FILE_DEVICE_KEYBOARD, (id), METHOD_NEITHER, FILE_ANY_ACCESS)
#define SIM_IOCTL_HID_GET_DEVICE_DESCRIPTOR SIM_HID_CTL_CODE(0)
#define SIM_IOCTL_HID_GET_REPORT_DESCRIPTOR SIM_HID_CTL_CODE(1)
#define SIM_IOCTL_HID_READ_REPORT SIM_HID_CTL_CODE(2)
#define SIM_IOCTL_HID_WRITE_REPORT SIM_HID_CTL_CODE(3)
#define SIM_IOCTL_HID_GET_STRING SIM_HID_CTL_CODE(4)
#define SIM_IOCTL_HID_ACTIVATE_DEVICE SIM_HID_CTL_CODE(7)
#define SIM_IOCTL_HID_DEACTIVATE_DEVICE SIM_HID_CTL_CODE(8)
#define SIM_IOCTL_HID_GET_DEVICE_ATTRIBUTES SIM_HID_CTL_CODE(9)
#define SIM_IOCTL_HID_SEND_IDLE_NOTIFICATION SIM_HID_CTL_CODE(10)

#define SIM_HID_STRING_ID_IMANUFACTURER 14
#define SIM_HID_STRING_ID_IPRODUCT 15
#define SIM_HID_STRING_ID_ISERIALNUMBER 16
