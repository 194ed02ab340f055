#pragma once
// Resource numbers shared by src/app/uptorra.rc and the window code. Plain #defines: the
// resource compiler reads this file too.
#define IDI_UPTORRA 1
#define IDI_STATUS_FAILURE 101
#define IDI_STATUS_SUCCESS 102
#define IDR_SIGNATURE_PNG 201
