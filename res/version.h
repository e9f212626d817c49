// The one place the panel's version is written; the version resource reads it from here.
#pragma once

#define TSM_VERSION_MAJOR 1
#define TSM_VERSION_MINOR 0
#define TSM_VERSION_PATCH 0
#define TSM_VERSION_STRING "1.0.0"
