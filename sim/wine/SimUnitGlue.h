#pragma once
/* The simulated unit as the driver (C) sees it: a few plain functions over numbered slots, each
 * slot holding one unit of the model. The model itself is C++ (sim/SimulatedUnit.h). */
#ifdef __cplusplus
extern "C" {
#endif

enum { SimGlueDone = 0, SimGlueFailed = 1, SimGlueNoAnswer = 2, SimGlueUnplugged = 3 };

unsigned int SimGlueUnitSize(void);
unsigned int SimGlueConfigSize(void);
/* The unit of a slot, as bytes (for the controller's read-back). */
const void* SimGlueUnitBytes(int slot);
/* Resets the unit of a slot with a configuration (config may be 0: the model's defaults). */
void SimGlueReset(int slot, const void* config);
/* Nonzero when config is byte for byte the configuration of the slot's unit. */
int SimGlueSameConfig(int slot, const void* config);
/* The slot's unit plugged in again: it keeps its flash, log and counts. */
void SimGlueReplug(int slot);
/* Replaces the configuration of a slot's unit and keeps its state. */
void SimGlueSetConfig(int slot, const void* config);
int SimGlueWrite(int slot, const unsigned char* report, unsigned int length);
int SimGlueRead(int slot, unsigned char* report, unsigned int length);
unsigned short SimGlueVendorId(int slot);
unsigned short SimGlueProductId(int slot);
unsigned short SimGlueInputLength(int slot);
unsigned short SimGlueOutputLength(int slot);
unsigned int SimGlueReplyDelay(int slot);
/* Nonzero when a write is held until the class driver has taken its reply. */
int SimGlueHoldsWrites(int slot);
/* The HID report descriptor of a slot's unit into out; returns its length, 0 if it does not fit. */
unsigned int SimGlueReportDescriptor(int slot, unsigned char* out, unsigned int capacity);

#ifdef __cplusplus
}
#endif
