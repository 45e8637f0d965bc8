// Everything a plug-in of the host includes.
#pragma once

#include "color.h"
#include "custcont.h"
#include "hostutil.h"
#include "imtl.h"
#include "ioapi.h"
#include "iparamb.h"
#include "matrix3.h"
#include "maxtypes.h"
#include "plugapi.h"
#include "point2.h"
#include "point3.h"
#include "ref.h"
#include "strclass.h"
#include "utilapi.h"
#include "windows.h"
