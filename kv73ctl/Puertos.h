#pragma once
// `kv73ctl ports`: the serial ports of this computer and the device each of
// COM1..COM4 opens, as the program's "Port devices" dialog shows them.

// Prints the list (a JSON object with `json`) and returns the exit status, 0.
int Comando_Ports(bool json);
