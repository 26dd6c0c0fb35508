reverse = $(if $(1),$(call reverse,$(wordlist 2,$(words $(1)),$(1))) $(firstword $(1)))
map = $(foreach a,$(2),$(call $(1),$(a)))
up = $(subst a,A,$(1))
fib = $(if $(filter 0 1,$(1)),1,x)
R := $(call reverse,a b c d e f)
M := $(call map,up,abc bad)
all:
	@echo $(R) $(M) $(call fib,0) $(origin R) $(flavor M) $(origin CC)
