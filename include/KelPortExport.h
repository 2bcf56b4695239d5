// KELPORT_API marks the names that the library exports; everything else stays inside it.
#pragma once

#if defined(_WIN32)
#  if defined(KELPORT_BUILDING)
#    define KELPORT_API __declspec(dllexport)
#  else
#    define KELPORT_API __declspec(dllimport)
#  endif
#else
#  define KELPORT_API __attribute__((visibility("default")))
#endif
