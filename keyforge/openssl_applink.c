/* OpenSSL's applink: the table through which a libcrypto built with
 * OPENSSL_USE_APPLINK reaches this program's C runtime (its FILE streams),
 * exported by the executable as OPENSSL_Applink. Windows builds only; it must
 * be in exactly one translation unit of the program. */
#include <openssl/applink.c>
