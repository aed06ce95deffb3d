#pragma once

// Takes the certificate table out of a copied executable before its resources change: a
// signature over other bytes would only make the copy look tampered with. The table is cut off
// when it ends the file, then its directory entry is cleared. 1 on success (also when there was
// none), 0 with the last error set.
int RemoveCertificateTable(const char* path);

// Writes the correct header checksum into an executable whose bytes have changed, and makes sure
// the whole file is on the disk. 1 on success, 0 with the last error set.
int WritePeChecksum(const char* path);
