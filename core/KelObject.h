#pragma once

// CKelObject: the empty polymorphic root class of the family.
#include "platform/KelExport.h"

class KELCORE_API CKelObject {
public:
    virtual ~CKelObject();
};
