// The credits font carried inside the native executables, so that no font needs to be installed.
#pragma once
#include "platform/resources.h"

// The TrueType file's bytes (Liberation Sans Bold, Arial's metrics), linked in by the build.
ByteSpan findCreditsFontResource();
