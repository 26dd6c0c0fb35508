PROGS = a b c
define PROG_template
$(1): $$($(1)_OBJS)
	@echo link $$@
$(1)_OBJS = $(1).o
ALL += $(1)
endef
$(foreach p,$(PROGS),$(eval $(call PROG_template,$(p))))
all: $(ALL)
$(info $(ALL) $(value PROG_template))
