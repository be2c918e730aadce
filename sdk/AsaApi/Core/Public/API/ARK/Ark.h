// The umbrella header of the host's SDK: the engine's types, the game's
// records and classes, the command and hook tables and the tools.
#pragma once

#include <API/ARK/GameTypes.h>
#include <API/Base.h>
#include <API/UE/BasicTypes.h>
#include <API/UE/Containers/UnrealString.h>
#include <API/UE/Math/Color.h>
#include <ICommands.h>
#include <IHooks.h>
#include <Tools.h>
