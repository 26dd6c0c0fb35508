include a.mk
-include nope.mk
sinclude b.mk
all: a
	@echo $(MAKEFILE_LIST) $(V) $(B)
