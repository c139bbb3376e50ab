// Loading the window library at run time.
#pragma once

// With the model (as NNTPmodel_iface*): loads libglimmerpane.so from the program folder
// if need be and calls its initialize; the result, or 0 when the library or its entry
// is missing (logged). With null: calls terminate and forgets the library. Main thread
// only.
int loadgui(void* model);
