#pragma once
// The catalogue of what the update server offers for the connected tool.
#include "server/DatabaseList.h"
#include "server/OptionCodeSet.h"
#include "server/OptionList.h"
#include "server/OthersList.h"
#include "server/PackageName.h"
#include "server/VersionInfo.h"
