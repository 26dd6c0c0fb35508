#: V=cmd goal1 goal2
V = file
override W = w
goal1 goal2: ; @echo $(V) $(MAKECMDGOALS) $(origin V)
export V
unexport X
export
