/// \file
/// Everything the library offers: include this one header.
#pragma once

#include "CKelError.h"
#include "KelAtoll.h"
#include "KelDL.h"
#include "KelDebug.h"
#include "KelGlobals.h"
#include "KelIoctl.h"
#include "KelNetwork.h"
#include "KelPortVersion.h"
#include "KelProcess.h"
#include "KelReentrant.h"
#include "KelSysInfo.h"
#include "KelThreads.h"
