#include "KelObject.h"

// Defined here so that the class's type information lives in the library.
CKelObject::~CKelObject() = default;
