// Address conversions used inside the library only.
#pragma once

#include "KelNetwork.h"

// As KelGetIPStr, for an address in host byte order.
char* KelGetIPStrH(in_addr ipnum);

// 1 with the address that addr names stored in *result; 0 with 0 stored when addr names no
// address by inet_addr's rule, the limited-broadcast text 255.255.255.255 included.
int KelInetAtoN(char* addr, in_addr* result);
