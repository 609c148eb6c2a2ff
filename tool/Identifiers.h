#pragma once

#include "host/FuID.h"

// Identifiers the controls use, built when the library loads.
extern FuID ID_Number;
extern FuID ID_Image;
extern FuID ID_CheckboxControl;
extern FuID ID_ComboControl;
extern FuID ID_SliderControl;
extern FuID ID_ButtonControl;
