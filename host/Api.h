#pragma once

// Symbols the host's libraries export to tools.
#define HOST_API __attribute__((visibility("default")))
