// The program's version, shared by the resource script and the code so that
// the version block and what the program says about itself cannot disagree.
#pragma once

#define KESTRANA_VERSION_MAJOR 1
#define KESTRANA_VERSION_MINOR 1
#define KESTRANA_VERSION_PATCH 0
#define KESTRANA_VERSION_BUILD 0
#define KESTRANA_VERSION_TEXT "1.1.0.0"
#define KESTRANA_VERSION_SHORT "V1.1"
#define KESTRANA_PRODUCT_NAME "Kestrana"
