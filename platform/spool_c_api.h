/* A small C interface of the spooler, so that a host in any language can
   obtain a printer handle and hand it to the driver's exported entry points.
   Strings are UTF-16 (char16_t). Every function sets the calling thread's
   last error on failure, readable with KlmGetLastError. */
#ifndef KLM71_PLATFORM_SPOOL_C_API_H
#define KLM71_PLATFORM_SPOOL_C_API_H

#include <stdint.h>
#include <uchar.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Opens the printer; *printer receives the handle. Nonzero on success. */
int KlmOpenPrinterW(const char16_t* name, void** printer, uint32_t access);
/* Nonzero on success. */
int KlmClosePrinter(void* printer);
/* As the platform's GetPrinterData: 0 on success, else an error code; *needed
   always receives the value's size; a buffer too small gives ERROR_MORE_DATA. */
uint32_t KlmGetPrinterDataW(void* printer, const char16_t* value_name, uint32_t* type, uint8_t* data,
                            uint32_t size, uint32_t* needed);
/* 0 on success, else an error code. */
uint32_t KlmSetPrinterDataW(void* printer, const char16_t* value_name, uint32_t type, const uint8_t* data,
                            uint32_t size);
uint32_t KlmGetLastError(void);
void KlmSetLastError(uint32_t code);

#ifdef __cplusplus
}
#endif

#endif
