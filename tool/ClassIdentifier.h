#pragma once

// The identifier the tool registers its class under: hosts find the tool by it, and saved
// compositions name it, so it never changes.
inline constexpr const char* UmbrixClassIdentifier = "Vennolar.Umbrix";
