#pragma once

// Takes the certificate table out of a copied executable before its resources change: a
// signature over other bytes would only make the copy look tampered with. The directory entry
// is cleared, and the table cut off when it ends the file. 1 on success (also when there was
// none), 0 with the last error set.
int RemoveCertificateTable(const char* path);

// Writes the correct header checksum into an executable whose bytes have changed.
// 1 on success, 0 with the last error set.
int WritePeChecksum(const char* path);
