// Registry pass: deletes the values and key trees the installation recorded. Never deletes a
// root key itself; a failure leaves the key or value as it is and the pass goes on.
#pragma once
#include <windows.h>

// For each registry record: a value (path "key\\\\name"), a default value (path "key\\\\"),
// or a key with everything below it (any other non-empty path); an empty path is passed over.
void RemoveRegistryEntries();

// Deletes subkey below root (an open key or a predefined handle) with all its subkeys,
// depth first. Returns ERROR_SUCCESS, ERROR_BADKEY (1010) for a null or empty subkey, or the
// error of the first call that failed; the keys above a failure stay.
LONG DeleteKeyTree(HKEY root, const WCHAR* subkey);
