/* A HID minidriver that plays the programming unit: each root-enumerated device node it serves
 * is one simulated unit (sim/SimulatedUnit.h, reached through SimUnitGlue.h). The HID class
 * driver sends output reports here (write report) and keeps one read report request outstanding;
 * a reply of the unit is handed to that request, after the unit's reply delay.
 *
 * The read request blocks on the HID class driver's own reader thread for at most
 * ReadPollMilliseconds and then fails, so that the thread sees its stop event soon after the
 * device goes away whatever order the removal requests come in.
 *
 * Wine's class driver loses a reply that its reader thread queues while a handle's ReadFile is
 * between "no report waiting" and "request queued": the report stays in the handle's queue until
 * the next one arrives, which a request/reply unit never sends. So a write is held until the class
 * driver has taken its reply (the reader thread asks for the next report only after it has put
 * the previous one into every handle's queue): a ReadFile that follows the WriteFile then finds
 * the reply waiting. The unit's racefix=0 turns this off and lets the host meet the race. */
#include "HidMinidriver.h"
#include "SimControl.h"
#include "SimUnitGlue.h"

enum {
    ReadPollMilliseconds = 100,
    ReplyCapacity = 1024,
    ConfigCapacity = 8192,
    /* How long a write waits for its reply to be taken, on top of the unit's reply delay. */
    DeliveryWaitMilliseconds = 1000
};

struct SimSlot {
    LONG used;
    LONG present;
    WCHAR nodeName[32];
    KEVENT replyEvent; /* auto-reset: a reply was queued or the device went away */
    UCHAR reply[ReplyCapacity];
    ULONG replyLength;
    LONG replyReady;
    KEVENT deliveredEvent; /* auto-reset: the class driver took a reply, or the device went away */
    ULONG replySequence;   /* of the reply queued last */
    ULONG handedSequence;  /* of the reply last handed to the class driver's read request */
    ULONG takenSequence;   /* of the reply the class driver has put into its handles' queues */
    ULONG readsTaken;
    ULONG writesTaken;
    ULONG repliesLost;
};

struct SimDeviceContext {
    int slot;
};

static struct SimSlot slots[SIM_SLOT_COUNT];
static volatile LONG slotLock; /* guards slots and the units of the model; held only briefly */
static PDEVICE_OBJECT controlDevice;
static ULONG devicesAdded;
static PDRIVER_DISPATCH hidCreate;
static PDRIVER_DISPATCH hidClose;
static PDRIVER_DISPATCH hidDeviceControl;
static UCHAR configBuffer[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + ConfigCapacity];

static void Pause(ULONG milliseconds) {
    LARGE_INTEGER interval;
    interval.QuadPart = -(LONGLONG)milliseconds * 10000;
    KeDelayExecutionThread(KernelMode, FALSE, &interval);
}

/* A plain lock word rather than a KMUTEX: the two threads that take it (the dispatch thread and
 * the class driver's reader thread) only hold it for a few copies. */
static void LockSlots(void) {
    while (InterlockedCompareExchange(&slotLock, 1, 0) != 0) {
        Pause(0);
    }
}

static void UnlockSlots(void) {
    InterlockedExchange(&slotLock, 0);
}

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static int NameEquals(const WCHAR* a, const WCHAR* b) {
    int i;
    for (i = 0; i < 32; ++i) {
        if (a[i] != b[i]) {
            return 0;
        }
        if (a[i] == 0) {
            return 1;
        }
    }
    return 1;
}

static void CopyName(WCHAR* to, const WCHAR* from, ULONG fromChars) {
    ULONG i;
    for (i = 0; i + 1 < 32 && i < fromChars && from[i] != 0; ++i) {
        to[i] = from[i];
    }
    to[i] = 0;
}

/* The device node's name: the part of its first hardware ID after the last backslash
 * ("ROOT\VID_21B8&PID_0001" gives "VID_21B8&PID_0001"). */
static void QueryNodeName(PDEVICE_OBJECT pdo, WCHAR* name) {
    WCHAR ids[256];
    ULONG length = 0;
    ULONG i, start = 0;
    name[0] = 0;
    RtlZeroMemory(ids, sizeof ids);
    if (!NT_SUCCESS(IoGetDeviceProperty(pdo, DevicePropertyHardwareID, sizeof ids - sizeof(WCHAR),
                                        ids, &length))) {
        return;
    }
    for (i = 0; i < 255 && ids[i] != 0; ++i) {
        if (ids[i] == L'\\') {
            start = i + 1;
        }
    }
    CopyName(name, ids + start, i - start);
}

/* The configuration the controller left for this node name, if any. Caller holds the lock. */
static const void* ReadConfig(const WCHAR* nodeName) {
    UNICODE_STRING keyName, valueName;
    OBJECT_ATTRIBUTES attributes;
    HANDLE key;
    ULONG length = 0;
    NTSTATUS status;
    KEY_VALUE_PARTIAL_INFORMATION* info = (KEY_VALUE_PARTIAL_INFORMATION*)configBuffer;

    RtlInitUnicodeString(&keyName, SIM_CONFIG_KEY_NT);
    InitializeObjectAttributes(&attributes, &keyName, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                               NULL, NULL);
    if (!NT_SUCCESS(ZwOpenKey(&key, KEY_READ, &attributes))) {
        return NULL;
    }
    RtlInitUnicodeString(&valueName, nodeName);
    status = ZwQueryValueKey(key, &valueName, KeyValuePartialInformation, info, sizeof configBuffer,
                             &length);
    ZwClose(key);
    if (!NT_SUCCESS(status) || info->Type != REG_BINARY ||
        info->DataLength != SimGlueConfigSize()) {
        return NULL;
    }
    return info->Data;
}

/* A slot for a new device: a free one, preferring the one this node name had before, so that a
 * replug of the same node reuses its slot. Caller holds the lock. */
static int TakeSlot(const WCHAR* nodeName) {
    int i;
    for (i = 0; i < SIM_SLOT_COUNT; ++i) {
        if (!slots[i].present && slots[i].used && NameEquals(slots[i].nodeName, nodeName)) {
            return i;
        }
    }
    for (i = 0; i < SIM_SLOT_COUNT; ++i) {
        if (!slots[i].used) {
            return i;
        }
    }
    for (i = 0; i < SIM_SLOT_COUNT; ++i) {
        if (!slots[i].present) {
            return i;
        }
    }
    return -1;
}

static struct SimDeviceContext* Context(PDEVICE_OBJECT device) {
    HID_DEVICE_EXTENSION* ext = (HID_DEVICE_EXTENSION*)device->DeviceExtension;
    return (struct SimDeviceContext*)ext->MiniDeviceExtension;
}

static NTSTATUS NTAPI SimAddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT fdo) {
    HID_DEVICE_EXTENSION* ext = (HID_DEVICE_EXTENSION*)fdo->DeviceExtension;
    struct SimDeviceContext* context = Context(fdo);
    WCHAR nodeName[32];
    int slot;
    (void)driver;

    QueryNodeName(ext->PhysicalDeviceObject, nodeName);
    LockSlots();
    slot = TakeSlot(nodeName);
    if (slot >= 0) {
        struct SimSlot* s = &slots[slot];
        const void* config = ReadConfig(nodeName);
        /* The same node plugged in again with the same configuration is the same unit: its
         * controller keeps what was flashed, and its log and counts go on. */
        if (s->used && NameEquals(s->nodeName, nodeName) && SimGlueSameConfig(slot, config)) {
            SimGlueReplug(slot);
        } else {
            SimGlueReset(slot, config);
        }
        CopyName(s->nodeName, nodeName, 32);
        KeInitializeEvent(&s->replyEvent, SynchronizationEvent, FALSE);
        KeInitializeEvent(&s->deliveredEvent, SynchronizationEvent, FALSE);
        s->replySequence = 0;
        s->handedSequence = 0;
        s->takenSequence = 0;
        s->replyReady = 0;
        s->replyLength = 0;
        s->readsTaken = 0;
        s->writesTaken = 0;
        s->repliesLost = 0;
        ++devicesAdded;
        s->used = 1;
        s->present = 1;
    }
    UnlockSlots();
    context->slot = slot;
    if (slot < 0) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    fdo->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

static void MarkGone(int slot) {
    if (slot < 0) {
        return;
    }
    LockSlots();
    slots[slot].present = 0;
    slots[slot].replyReady = 0;
    UnlockSlots();
    KeSetEvent(&slots[slot].replyEvent, IO_NO_INCREMENT, FALSE);
    KeSetEvent(&slots[slot].deliveredEvent, IO_NO_INCREMENT, FALSE);
}

/* Waits until the class driver has taken the reply of the given sequence number, the device has
 * gone, or the bound has passed; whichever comes first. The bound is counted in slices that ran
 * out, so a wake-up for another reply does not shorten it. */
static void AwaitDelivery(int slot, ULONG sequence, ULONG boundMilliseconds) {
    enum { SliceMilliseconds = 10 };
    struct SimSlot* s = &slots[slot];
    LARGE_INTEGER slice;
    ULONG waited = 0;
    int done;
    slice.QuadPart = -(LONGLONG)SliceMilliseconds * 10000;
    for (;;) {
        LockSlots();
        done = !s->present || (LONG)(s->takenSequence - sequence) >= 0;
        UnlockSlots();
        if (done || waited >= boundMilliseconds) {
            return;
        }
        if (KeWaitForSingleObject(&s->deliveredEvent, Executive, KernelMode, FALSE, &slice) ==
            STATUS_TIMEOUT) {
            waited += SliceMilliseconds;
        }
    }
}

static NTSTATUS NTAPI SimPnp(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    HID_DEVICE_EXTENSION* ext = (HID_DEVICE_EXTENSION*)device->DeviceExtension;

    switch (stack->MinorFunction) {
    case IRP_MN_SURPRISE_REMOVAL:
    case IRP_MN_REMOVE_DEVICE:
    case IRP_MN_STOP_DEVICE:
        MarkGone(Context(device)->slot);
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    case IRP_MN_START_DEVICE:
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    default:
        break;
    }
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(ext->NextDeviceObject, irp);
}

static NTSTATUS NTAPI SimPower(PDEVICE_OBJECT device, PIRP irp) {
    HID_DEVICE_EXTENSION* ext = (HID_DEVICE_EXTENSION*)device->DeviceExtension;
    PoStartNextPowerIrp(irp);
    IoSkipCurrentIrpStackLocation(irp);
    return PoCallDriver(ext->NextDeviceObject, irp);
}

/* One output report: the unit takes it and, where it answers, queues its reply. */
static NTSTATUS WriteReport(int slot, PIRP irp) {
    SIM_XFER_PACKET* packet = (SIM_XFER_PACKET*)irp->UserBuffer;
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    struct SimSlot* s = &slots[slot];
    NTSTATUS status;
    int result, queued = 0, hold = 0;
    ULONG sequence = 0, delay = 0;

    if (packet == NULL) {
        packet = (SIM_XFER_PACKET*)stack->Parameters.DeviceIoControl.Type3InputBuffer;
    }
    if (packet == NULL || packet->reportBuffer == NULL) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    LockSlots();
    if (!s->present) {
        UnlockSlots();
        return Complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
    }
    ++s->writesTaken;
    result = SimGlueWrite(slot, packet->reportBuffer, packet->reportBufferLen);
    if (result == SimGlueDone) {
        ULONG length = SimGlueInputLength(slot);
        if (length > ReplyCapacity) {
            length = ReplyCapacity;
        }
        if (SimGlueRead(slot, s->reply, length) == SimGlueDone) {
            if (s->replyReady) {
                ++s->repliesLost; /* the host never read the previous one */
            }
            s->replyLength = length;
            s->replyReady = 1;
            sequence = ++s->replySequence;
            queued = 1;
            hold = SimGlueHoldsWrites(slot);
            delay = SimGlueReplyDelay(slot);
        }
    }
    UnlockSlots();
    if (queued) {
        KeSetEvent(&s->replyEvent, IO_NO_INCREMENT, FALSE);
        if (hold) {
            AwaitDelivery(slot, sequence, DeliveryWaitMilliseconds + delay);
        }
    }
    switch (result) {
    case SimGlueDone:
    case SimGlueNoAnswer:
        status = STATUS_SUCCESS;
        break;
    case SimGlueUnplugged:
        status = STATUS_DEVICE_NOT_CONNECTED;
        break;
    default:
        status = STATUS_UNSUCCESSFUL;
        break;
    }
    return Complete(irp, status, NT_SUCCESS(status) ? packet->reportBufferLen : 0);
}

/* The HID class driver's read: waits a while for a reply of the unit, then hands it over after
 * the unit's reply delay; without one it fails and is asked again. */
static NTSTATUS ReadReport(int slot, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    ULONG capacity = stack->Parameters.DeviceIoControl.OutputBufferLength;
    UCHAR* out = (UCHAR*)irp->UserBuffer;
    struct SimSlot* s = &slots[slot];
    LARGE_INTEGER timeout;
    ULONG length = 0, delay = 0, i;
    int got = 0, present;

    if (out == NULL) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    timeout.QuadPart = -(LONGLONG)ReadPollMilliseconds * 10000;
    LockSlots();
    /* The reader thread asks again only after it has queued what it got last. */
    if (s->takenSequence != s->handedSequence) {
        s->takenSequence = s->handedSequence;
        UnlockSlots();
        KeSetEvent(&s->deliveredEvent, IO_NO_INCREMENT, FALSE);
        LockSlots();
    }
    if (!s->replyReady && s->present) {
        UnlockSlots();
        KeWaitForSingleObject(&s->replyEvent, Executive, KernelMode, FALSE, &timeout);
        LockSlots();
    }
    present = s->present;
    if (present && s->replyReady) {
        length = s->replyLength < capacity ? s->replyLength : capacity;
        for (i = 0; i < length; ++i) {
            out[i] = s->reply[i];
        }
        s->replyReady = 0;
        s->handedSequence = s->replySequence;
        ++s->readsTaken;
        delay = SimGlueReplyDelay(slot);
        got = 1;
    }
    UnlockSlots();
    if (!present) {
        Pause(ReadPollMilliseconds); /* the reader thread is about to stop; do not let it spin */
        return Complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
    }
    if (!got) {
        return Complete(irp, STATUS_DEVICE_NOT_READY, 0);
    }
    if (delay != 0) {
        Pause(delay);
    }
    return Complete(irp, STATUS_SUCCESS, length);
}

static NTSTATUS CopyOut(PIRP irp, const void* data, ULONG length) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (irp->UserBuffer == NULL || stack->Parameters.DeviceIoControl.OutputBufferLength < length) {
        return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    }
    RtlCopyMemory(irp->UserBuffer, data, length);
    return Complete(irp, STATUS_SUCCESS, length);
}

static NTSTATUS NTAPI SimInternalIoctl(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    int slot = Context(device)->slot;
    UCHAR descriptor[64];
    ULONG length;

    if (slot < 0) {
        return Complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
    }
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case SIM_IOCTL_HID_GET_DEVICE_DESCRIPTOR: {
        HID_DESCRIPTOR hid;
        RtlZeroMemory(&hid, sizeof hid);
        hid.bLength = sizeof hid;
        hid.bDescriptorType = 0x21;
        hid.bcdHID = 0x0111;
        hid.bNumDescriptors = 1;
        hid.DescriptorList[0].bReportType = 0x22;
        hid.DescriptorList[0].wReportLength =
            (USHORT)SimGlueReportDescriptor(slot, descriptor, sizeof descriptor);
        return CopyOut(irp, &hid, sizeof hid);
    }
    case SIM_IOCTL_HID_GET_REPORT_DESCRIPTOR:
        length = SimGlueReportDescriptor(slot, descriptor, sizeof descriptor);
        if (length == 0) {
            return Complete(irp, STATUS_INVALID_DEVICE_STATE, 0);
        }
        return CopyOut(irp, descriptor, length);
    case SIM_IOCTL_HID_GET_DEVICE_ATTRIBUTES: {
        HID_DEVICE_ATTRIBUTES attributes;
        RtlZeroMemory(&attributes, sizeof attributes);
        attributes.Size = sizeof attributes;
        attributes.VendorID = SimGlueVendorId(slot);
        attributes.ProductID = SimGlueProductId(slot);
        attributes.VersionNumber = 0x0100;
        return CopyOut(irp, &attributes, sizeof attributes);
    }
    case SIM_IOCTL_HID_GET_STRING: {
        ULONG id = (ULONG)((ULONG_PTR)stack->Parameters.DeviceIoControl.Type3InputBuffer & 0xFFFF);
        static const WCHAR manufacturer[] = L"Simulation";
        static const WCHAR product[] = L"Simulated programming unit";
        static const WCHAR serial[] = L"0001";
        if (id == SIM_HID_STRING_ID_IMANUFACTURER) {
            return CopyOut(irp, manufacturer, sizeof manufacturer);
        }
        if (id == SIM_HID_STRING_ID_IPRODUCT) {
            return CopyOut(irp, product, sizeof product);
        }
        if (id == SIM_HID_STRING_ID_ISERIALNUMBER) {
            return CopyOut(irp, serial, sizeof serial);
        }
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    case SIM_IOCTL_HID_ACTIVATE_DEVICE:
    case SIM_IOCTL_HID_DEACTIVATE_DEVICE:
        return Complete(irp, STATUS_SUCCESS, 0);
    case SIM_IOCTL_HID_WRITE_REPORT:
        return WriteReport(slot, irp);
    case SIM_IOCTL_HID_READ_REPORT:
        return ReadReport(slot, irp);
    default:
        return Complete(irp, STATUS_NOT_SUPPORTED, 0);
    }
}

/* The newest slot given to a node name. Caller holds the lock. */
static int FindSlot(const struct SimSlotQuery* query) {
    int i;
    for (i = 0; i < SIM_SLOT_COUNT; ++i) {
        if (slots[i].used && slots[i].present && NameEquals(slots[i].nodeName, query->nodeName)) {
            return i;
        }
    }
    for (i = 0; i < SIM_SLOT_COUNT; ++i) {
        if (slots[i].used && NameEquals(slots[i].nodeName, query->nodeName)) {
            return i;
        }
    }
    return -1;
}

static NTSTATUS ControlIoctl(PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    UCHAR* buffer = (UCHAR*)irp->AssociatedIrp.SystemBuffer;
    struct SimSlotQuery query;
    NTSTATUS status = STATUS_SUCCESS;
    ULONG_PTR information = 0;
    int slot;

    if (buffer == NULL || inLength < sizeof query) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    RtlCopyMemory(&query, buffer, sizeof query);
    query.nodeName[31] = 0;
    LockSlots();
    slot = FindSlot(&query);
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_SIM_GET_UNIT: {
        struct SimSlotInfo info;
        ULONG needed = sizeof info + SimGlueUnitSize();
        if (slot < 0) {
            status = STATUS_NOT_FOUND;
        } else if (outLength < needed) {
            status = STATUS_BUFFER_TOO_SMALL;
        } else {
            info.present = (unsigned int)slots[slot].present;
            info.readsTaken = slots[slot].readsTaken;
            info.repliesLost = slots[slot].repliesLost;
            info.slot = (unsigned int)slot;
            info.devicesAdded = devicesAdded;
            info.writesTaken = slots[slot].writesTaken;
            RtlCopyMemory(buffer, &info, sizeof info);
            RtlCopyMemory(buffer + sizeof info, SimGlueUnitBytes(slot), SimGlueUnitSize());
            information = needed;
        }
        break;
    }
    case IOCTL_SIM_SET_CONFIG:
        if (slot < 0 || !slots[slot].present) {
            status = STATUS_NOT_FOUND;
        } else if (inLength != sizeof query + SimGlueConfigSize()) {
            status = STATUS_INVALID_PARAMETER;
        } else {
            SimGlueSetConfig(slot, buffer + sizeof query);
        }
        break;
    default:
        status = STATUS_NOT_SUPPORTED;
        break;
    }
    UnlockSlots();
    return Complete(irp, status, information);
}

static NTSTATUS NTAPI SimCreate(PDEVICE_OBJECT device, PIRP irp) {
    if (device == controlDevice) {
        return Complete(irp, STATUS_SUCCESS, 0);
    }
    return hidCreate(device, irp);
}

static NTSTATUS NTAPI SimClose(PDEVICE_OBJECT device, PIRP irp) {
    if (device == controlDevice) {
        return Complete(irp, STATUS_SUCCESS, 0);
    }
    return hidClose(device, irp);
}

static NTSTATUS NTAPI SimDeviceControl(PDEVICE_OBJECT device, PIRP irp) {
    if (device == controlDevice) {
        return ControlIoctl(irp);
    }
    return hidDeviceControl(device, irp);
}

static void NTAPI SimUnload(PDRIVER_OBJECT driver) {
    UNICODE_STRING link;
    (void)driver;
    if (controlDevice != NULL) {
        RtlInitUnicodeString(&link, SIM_CONTROL_LINK_NT);
        IoDeleteSymbolicLink(&link);
        IoDeleteDevice(controlDevice);
        controlDevice = NULL;
    }
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    HID_MINIDRIVER_REGISTRATION registration;
    UNICODE_STRING name, link;
    NTSTATUS status;

    driver->DriverExtension->AddDevice = SimAddDevice;
    driver->DriverUnload = SimUnload;
    driver->MajorFunction[IRP_MJ_PNP] = SimPnp;
    driver->MajorFunction[IRP_MJ_POWER] = SimPower;
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = SimInternalIoctl;

    RtlZeroMemory(&registration, sizeof registration);
    registration.Revision = HID_REVISION;
    registration.DriverObject = driver;
    registration.RegistryPath = registryPath;
    registration.DeviceExtensionSize = sizeof(struct SimDeviceContext);
    registration.DevicesArePolled = FALSE;
    status = HidRegisterMinidriver(&registration);
    if (!NT_SUCCESS(status)) {
        return status;
    }

    /* The class driver now owns create, close and device control; the control device's
     * requests are taken out before they reach it. */
    hidCreate = driver->MajorFunction[IRP_MJ_CREATE];
    hidClose = driver->MajorFunction[IRP_MJ_CLOSE];
    hidDeviceControl = driver->MajorFunction[IRP_MJ_DEVICE_CONTROL];
    driver->MajorFunction[IRP_MJ_CREATE] = SimCreate;
    driver->MajorFunction[IRP_MJ_CLOSE] = SimClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = SimDeviceControl;

    RtlInitUnicodeString(&name, SIM_CONTROL_DEVICE_NT);
    RtlInitUnicodeString(&link, SIM_CONTROL_LINK_NT);
    if (NT_SUCCESS(
            IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &controlDevice))) {
        if (!NT_SUCCESS(IoCreateSymbolicLink(&link, &name))) {
            IoDeleteDevice(controlDevice);
            controlDevice = NULL;
        } else {
            controlDevice->Flags &= ~DO_DEVICE_INITIALIZING;
        }
    }
    return STATUS_SUCCESS;
}
