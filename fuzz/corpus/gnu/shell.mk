X := $(shell echo hi)
Y != echo there
Z = $(.SHELLSTATUS)
W = $(wildcard *.mk) $(realpath .) $(abspath ../x/./y)
$(warning $(X)$(Y))
all: ; @echo $(W) $(or ,b) $(and a,b) $(if ,x,y)
