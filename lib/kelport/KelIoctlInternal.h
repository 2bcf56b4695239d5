// The request families of the ioctl dispatcher, inside the library only.
#pragma once

#include "KelIoctl.h"

int KelIoctl_I(int Fd, KelIoctlEnum request, void* arg);
int KelIoctl_SIOC(int Fd, KelIoctlEnum request, void* arg);
int KelIoctl_TIOC(int Fd, KelIoctlEnum request, void* arg);
int KelIoctl_FION(int Fd, KelIoctlEnum request, void* arg);
int KelIoctl_PktLen(int Fd, void* arg);
int KelIoctl_ArpReq(int Fd, void* arg);
