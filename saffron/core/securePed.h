/*
 * securePed.h - thin wrappers over the PIN pad's working-key loading.
 * All keys go to slot 0, enciphered under the master key (protection 129).
 */
#ifndef SAFFRON_CORE_SECUREPED_H
#define SAFFRON_CORE_SECUREPED_H

int mid_ped_write_pin_key(int len, const unsigned char *key);
int mid_ped_write_mac_key(int len, const unsigned char *key);
int mid_ped_write_Acc_key(int len, const unsigned char *key);

#endif
