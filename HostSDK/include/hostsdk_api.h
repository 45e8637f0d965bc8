// Export marker of the host layer. The host layer is one shared library that
// the host program and every plug-in link, so that a process has one class
// registry, one window table and one resource table.
#pragma once

#if defined(_WIN32)
#if defined(HOSTSDK_BUILDING)
#define HOSTSDK_API __declspec(dllexport)
#else
#define HOSTSDK_API __declspec(dllimport)
#endif
#else
#define HOSTSDK_API __attribute__((visibility("default")))
#endif
