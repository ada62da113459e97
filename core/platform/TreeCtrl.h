#pragma once

// CTreeCtrl: the tree-view control that libraries fill (the HTML parser's
// MakeCtrlTree). Libraries never own a window: a windowed program adapts this
// interface to its own tree widget, and tests use a recording one. Items are
// opaque handles given out by the control.
#include "KelExport.h"
#include "Types.h"

#include <cstdint>

struct _TREEITEM;
using HTREEITEM = _TREEITEM*;

// Positions and commands, numbered as the framework numbers them.
inline HTREEITEM const TVI_ROOT = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x10000));
inline HTREEITEM const TVI_FIRST = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFF));
inline HTREEITEM const TVI_LAST = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFE));
constexpr UINT TVE_COLLAPSE = 0x0001;
constexpr UINT TVE_EXPAND = 0x0002;

class KELCORE_API CTreeCtrl {
public:
    virtual ~CTreeCtrl() = default;

    // Inserts an item showing `text` under `parent` (TVI_ROOT for a top
    // item), after `insertAfter` (an item, TVI_FIRST or TVI_LAST). Returns the
    // new item, or null when the control could not add it.
    virtual HTREEITEM InsertItem(const wchar_t* text, HTREEITEM parent = TVI_ROOT,
                                 HTREEITEM insertAfter = TVI_LAST) = 0;
    // Expands or collapses the children of `item` (TVE_EXPAND, TVE_COLLAPSE).
    virtual bool Expand(HTREEITEM item, UINT code) = 0;
};
